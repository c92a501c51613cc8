// The Linux answer to "may this process do the operations' work", which
// Windows answers with full access to the COM-port database.
//
// The rule:
// 1. The superuser (effective user id 0) may.
// 2. Anyone else must be able to do both halves of the work:
//    - the serial half: when the adapter's ports are present (the
//      <devDir>/ttyACMn of the ports with the adapter's USB IDs), every one
//      of them must be readable and writable by this process, as
//      faccessat(AT_EACCESS) judges it, so access control lists count too.
//      With no adapter port present, the process must belong to the group
//      that owns the lowest-numbered <devDir>/ttyACM* node, or, with no such
//      node, to the group "dialout" (where the adapter's node will land).
//    - the disk half: the same with the USB disks' <devDir>/sgN nodes, the
//      lowest-numbered <devDir>/sg* node and the group "disk".
//    Read-write is what counts: the switch writes to the port, and the sg
//    driver passes a vendor-specific command only on a node opened for
//    writing. A group that does not exist is one the process is not in.
// The check is a snapshot: the adapter changes state between the halves
// of the work, which is why the absent half is judged by group.
//
// A disk without a generic node is left out: the return cannot open it
// anyway, so it asks nothing of the process.
//
// A check that says no also tells what is missing (Missing()), for a
// message in the user's terms (RightsMessage).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "lib/language.h"
#include "platform/linux/sysfs.h"
#include "platform/win_types.h"

namespace Tolvane {
namespace Linux {

// One half of the work that the process may not do.
struct MissingRight {
    bool disks = false;  // the disk half (sg nodes); false: the serial half (ports)
    // The present nodes of the half that the process cannot open read-write;
    // empty when none is present and group membership decided.
    std::vector<std::string> nodes;
    // The group whose members may open the nodes: the group of the (first
    // such) node when it gives its group read-write access, of the
    // lowest-numbered node when none is present, else the conventional one;
    // its number when it has no name.
    std::string group;
    // The system's reason for each of nodes (an errno; 0: not known).
    std::vector<int> errors = {};
};

// 0 when this process may open path for reading and writing, as the kernel
// judges it for the effective IDs (access control lists included), without
// opening it; else the errno of the refusal.
int ReadWriteError(const std::string& path);
inline bool CanOpenReadWrite(const std::string& path) {
    return ReadWriteError(path) == 0;
}

// What is missing and how to get it, as code page 932 text of several lines
// in language:
// the nodes that cannot be opened (each with the system's reason, when
// known, on a line of its own), the groups needed, and the remedies (the
// package's udev rule for the ports, the groups, sudo). Empty when nothing
// is missing.
std::string RightsMessage(const std::vector<MissingRight>& missing, ELanguage language);

class CLinuxRightsCheck {
public:
    CLinuxRightsCheck(CSysfs sysfs, WORD vendorId, WORD productId);
    virtual ~CLinuxRightsCheck() = default;

    bool Check();
    // What the last Check found missing, both halves judged; empty when it
    // passed.
    const std::vector<MissingRight>& Missing() const { return m_missing; }

protected:
    // The process facts the rule reads, one hook each.
    virtual bool IsSuperUser();
    virtual int ReadWriteError(const std::string& path);
    virtual bool IsMemberOf(gid_t group);
    virtual bool LookupGroup(const char* name, gid_t* group);
    // The group's name; empty when it has none.
    virtual std::string GroupName(gid_t group);

private:
    void JudgeHalf(bool disks, const std::vector<std::string>& present, const char* nodePrefix,
                   const char* conventionalGroup);
    std::string NameOf(gid_t group);

    CSysfs m_sysfs;
    WORD m_vendorId;
    WORD m_productId;
    std::vector<MissingRight> m_missing;
};

}  // namespace Linux
}  // namespace Tolvane
