#include "platform/linux/linux_rights.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/linux/acm_port_finder.h"
#include "platform/linux/linux_raw_disk_api.h"
#include "platform/linux/linux_support.h"

namespace Tolvane {
namespace Linux {

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

}  // namespace

CLinuxRightsCheck::CLinuxRightsCheck(std::string sysfsRoot, std::string deviceDir, WORD vendorId,
                                     WORD productId)
    : m_sysfsRoot(std::move(sysfsRoot)),
      m_deviceDir(std::move(deviceDir)),
      m_vendorId(vendorId),
      m_productId(productId) {}

bool CLinuxRightsCheck::Check() {
    if (IsSuperUser()) {
        return true;
    }
    std::vector<std::string> ports;
    for (std::uint16_t n : FindAcmPorts(m_sysfsRoot, m_deviceDir, m_vendorId, m_productId)) {
        ports.push_back(m_deviceDir + "/ttyACM" + std::to_string(n));  // present: the finder saw it
    }
    std::vector<std::string> disks;
    for (const UsbScsiDisk& disk : ListUsbScsiDisks(m_sysfsRoot)) {
        const std::string node = m_deviceDir + "/" + disk.genericNode;
        if (Exists(node)) {
            disks.push_back(node);
        }
    }
    return HalfAllowed(ports, "ttyACM", "dialout") && HalfAllowed(disks, "sg", "disk");
}

bool CLinuxRightsCheck::HalfAllowed(const std::vector<std::string>& present, const char* nodePrefix,
                                    const char* conventionalGroup) {
    if (!present.empty()) {
        for (const std::string& node : present) {
            if (!CanReadWrite(node)) {
                return false;
            }
        }
        return true;
    }
    std::string lowest;
    unsigned long lowestNumber = ULONG_MAX;
    for (const std::string& name : ListDirectory(m_deviceDir)) {
        unsigned long n = 0;
        if (ParseNumberedName(name, nodePrefix, 0xFFFFFFFFul, &n) && n < lowestNumber) {
            lowestNumber = n;
            lowest = name;
        }
    }
    struct stat st {};
    if (!lowest.empty() && stat((m_deviceDir + "/" + lowest).c_str(), &st) == 0) {
        return IsMemberOf(st.st_gid);
    }
    gid_t group = 0;
    return LookupGroup(conventionalGroup, &group) && IsMemberOf(group);
}

bool CLinuxRightsCheck::IsSuperUser() {
    return geteuid() == 0;
}

bool CLinuxRightsCheck::CanReadWrite(const std::string& path) {
    return faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0;
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
    std::vector<char> buffer(1024);
    for (;;) {
        struct group entry {};
        struct group* found = nullptr;
        const int e = getgrnam_r(name, &entry, buffer.data(), buffer.size(), &found);
        if (e == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (e != 0 || found == nullptr) {
            return false;
        }
        *group = found->gr_gid;
        return true;
    }
}

}  // namespace Linux
}  // namespace Tolvane
