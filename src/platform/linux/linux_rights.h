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
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/win_types.h"

namespace Tolvane {
namespace Linux {

class CLinuxRightsCheck {
public:
    CLinuxRightsCheck(std::string sysfsRoot, std::string deviceDir, WORD vendorId, WORD productId);
    virtual ~CLinuxRightsCheck() = default;

    bool Check();

protected:
    // The process facts the rule reads, one hook each.
    virtual bool IsSuperUser();
    virtual bool CanReadWrite(const std::string& path);
    virtual bool IsMemberOf(gid_t group);
    virtual bool LookupGroup(const char* name, gid_t* group);

private:
    bool HalfAllowed(const std::vector<std::string>& present, const char* nodePrefix,
                     const char* conventionalGroup);

    std::string m_sysfsRoot;
    std::string m_deviceDir;
    WORD m_vendorId;
    WORD m_productId;
};

}  // namespace Linux
}  // namespace Tolvane
