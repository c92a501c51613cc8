#include "platform/linux/linux_host.h"

#include "modes/adapter_operations.h"

namespace Tolvane {
namespace Linux {

CLinuxHost::CLinuxHost(std::string sysfsRoot, std::string deviceDir, std::string procRoot)
    : m_sysfs(std::move(sysfsRoot), deviceDir),
      m_serial(m_reasons, std::move(deviceDir), std::move(procRoot)),
      m_rawDisk(m_reasons, m_sysfs) {}

ZRK::CSharedArray<WORD> CLinuxHost::FindUsbComPorts(WORD vendorId, WORD productId) {
    ZRK::CSharedArray<WORD> ports;
    for (std::uint16_t n : m_sysfs.AcmPorts(vendorId, productId)) {
        ports.Add(n);
    }
    return ports;
}

bool CLinuxHost::HasAdministratorRights() {
    CLinuxRightsCheck check(m_sysfs, kAdapterVendorId, kAdapterProductId);
    const bool allowed = check.Check();
    m_missingRights = check.Missing();
    m_rightsChecked = true;
    return allowed;
}

std::string CLinuxHost::RightsMessage(ELanguage language) {
    if (!m_rightsChecked) {
        HasAdministratorRights();
    }
    return Linux::RightsMessage(m_missingRights, language);
}

}  // namespace Linux
}  // namespace Tolvane
