#include "platform/linux/linux_rights.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/linux/win_calls.h"
#include "tolvane_texts.h"

namespace Tolvane {
namespace Linux {

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// A getgr*_r lookup with a buffer that grows while the entry does not fit.
template <typename Lookup>
bool FindGroup(Lookup lookup, gid_t* gid, std::string* name) {
    std::vector<char> buffer(1024);
    for (;;) {
        struct group entry {};
        struct group* found = nullptr;
        const int e = lookup(&entry, buffer.data(), buffer.size(), &found);
        if (e == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (e != 0 || found == nullptr) {
            return false;
        }
        *gid = found->gr_gid;
        *name = found->gr_name;
        return true;
    }
}

std::string FillIn(const char* format, const std::string& arg) {
    std::string text = format;
    const std::size_t at = text.find("%s");
    return at == std::string::npos ? text : text.replace(at, 2, arg);
}

}  // namespace

int ReadWriteError(const std::string& path) {
    return faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

std::string RightsMessage(const std::vector<MissingRight>& missing, ELanguage language) {
    if (missing.empty()) {
        return std::string();
    }
    // A node with the system's reason takes a line of its own; those without
    // share one.
    std::string nodes;
    bool ownLine = false;
    for (const MissingRight& half : missing) {
        for (std::size_t i = 0; i < half.nodes.size(); ++i) {
            const int error = i < half.errors.size() ? half.errors[i] : 0;
            nodes += nodes.empty() ? "  " : ownLine || error != 0 ? "\n  " : " ";
            nodes += error != 0 ? NodeError(half.nodes[i], error) : half.nodes[i];
            ownLine = error != 0;
        }
    }
    std::string text;
    if (!nodes.empty()) {
        text += std::string(Text::kLinuxRightsCannotOpen.In(language)) + "\n" + nodes + "\n";
    }
    for (const MissingRight& half : missing) {
        const CText& format = half.disks ? (half.nodes.empty() ? Text::kLinuxRightsDisksGroup
                                                               : Text::kLinuxRightsDisksRemedy)
                                         : (half.nodes.empty() ? Text::kLinuxRightsPortsGroup
                                                               : Text::kLinuxRightsPortsRemedy);
        text += FillIn(format.In(language), half.group) + "\n";
    }
    return text + Text::kLinuxRightsJoin.In(language);
}

CLinuxRightsCheck::CLinuxRightsCheck(CSysfs sysfs, WORD vendorId, WORD productId)
    : m_sysfs(std::move(sysfs)), m_vendorId(vendorId), m_productId(productId) {}

bool CLinuxRightsCheck::Check() {
    m_missing.clear();
    if (IsSuperUser()) {
        return true;
    }
    std::vector<std::string> ports;
    for (std::uint16_t n : m_sysfs.AcmPorts(m_vendorId, m_productId)) {
        ports.push_back(AcmPortPath(m_sysfs.DeviceDir(), n));  // present: the finder saw it
    }
    std::vector<std::string> disks;
    for (const UsbDiskInfo& disk : m_sysfs.ListUsbDisks()) {
        if (!disk.genericPath.empty() && Exists(disk.genericPath)) {
            disks.push_back(disk.genericPath);
        }
    }
    JudgeHalf(false, ports, "ttyACM", "dialout");
    JudgeHalf(true, disks, "sg", "disk");
    return m_missing.empty();
}

void CLinuxRightsCheck::JudgeHalf(bool disks, const std::vector<std::string>& present,
                                  const char* nodePrefix, const char* conventionalGroup) {
    MissingRight missing;
    missing.disks = disks;
    missing.group = conventionalGroup;
    if (!present.empty()) {
        for (const std::string& node : present) {
            const int error = ReadWriteError(node);
            if (error == 0) {
                continue;
            }
            struct stat st {};
            const mode_t groupReadWrite = S_IRGRP | S_IWGRP;
            if (missing.nodes.empty() && stat(node.c_str(), &st) == 0 &&
                (st.st_mode & groupReadWrite) == groupReadWrite) {
                missing.group = NameOf(st.st_gid);
            }
            missing.nodes.push_back(node);
            missing.errors.push_back(error);
        }
        if (!missing.nodes.empty()) {
            m_missing.push_back(missing);
        }
        return;
    }
    std::string lowest;
    unsigned long lowestNumber = ULONG_MAX;
    for (const std::string& name : ListDirectory(m_sysfs.DeviceDir())) {
        unsigned long n = 0;
        if (ParseNumberedName(name, nodePrefix, 0xFFFFFFFFul, &n) && n < lowestNumber) {
            lowestNumber = n;
            lowest = name;
        }
    }
    struct stat st {};
    gid_t group = 0;
    if (!lowest.empty() && stat((m_sysfs.DeviceDir() + "/" + lowest).c_str(), &st) == 0) {
        group = st.st_gid;
        missing.group = NameOf(group);
    } else if (!LookupGroup(conventionalGroup, &group)) {
        m_missing.push_back(missing);
        return;
    }
    if (!IsMemberOf(group)) {
        m_missing.push_back(missing);
    }
}

std::string CLinuxRightsCheck::NameOf(gid_t group) {
    const std::string name = GroupName(group);
    // The name goes into a code page 932 text: only ASCII passes as is.
    const bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80;
    });
    return plain ? name : std::to_string(group);
}

bool CLinuxRightsCheck::IsSuperUser() {
    return geteuid() == 0;
}

int CLinuxRightsCheck::ReadWriteError(const std::string& path) {
    return Linux::ReadWriteError(path);
}

bool CLinuxRightsCheck::IsMemberOf(gid_t group) {
    if (getegid() == group) {
        return true;
    }
    const int count = getgroups(0, nullptr);
    if (count <= 0) {
        return false;
    }
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups[static_cast<std::size_t>(i)] == group) {
            return true;
        }
    }
    return false;
}

bool CLinuxRightsCheck::LookupGroup(const char* name, gid_t* group) {
    std::string ignored;
    return FindGroup(
        [name](struct group* entry, char* buffer, std::size_t size, struct group** found) {
            return getgrnam_r(name, entry, buffer, size, found);
        },
        group, &ignored);
}

std::string CLinuxRightsCheck::GroupName(gid_t group) {
    gid_t ignored = 0;
    std::string name;
    FindGroup(
        [group](struct group* entry, char* buffer, std::size_t size, struct group** found) {
            return getgrgid_r(group, entry, buffer, size, found);
        },
        &ignored, &name);
    return name;
}

}  // namespace Linux
}  // namespace Tolvane
