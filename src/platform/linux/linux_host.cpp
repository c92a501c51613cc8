#include "platform/linux/linux_host.h"

#include "modes/adapter_operations.h"
#include "platform/linux/acm_port_finder.h"
#include "platform/linux/linux_support.h"

namespace Tolvane {
namespace Linux {

CLinuxHost::CLinuxHost(std::string sysfsRoot, std::string deviceDir)
    : m_sysfsRoot(std::move(sysfsRoot)),
      m_deviceDir(std::move(deviceDir)),
      m_serial(m_deviceDir),
      m_rawDisk(m_sysfsRoot, m_deviceDir) {}

ZRK::CSharedArray<WORD> CLinuxHost::FindUsbComPorts(WORD vendorId, WORD productId) {
    ZRK::CSharedArray<WORD> ports;
    for (std::uint16_t n : FindAcmPorts(m_sysfsRoot, m_deviceDir, vendorId, productId)) {
        ports.Add(n);
    }
    return ports;
}

void CLinuxHost::Sleep(DWORD milliseconds) {
    SleepMilliseconds(milliseconds);
}

bool CLinuxHost::HasAdministratorRights() {
    CLinuxRightsCheck check(m_sysfsRoot, m_deviceDir, kAdapterVendorId, kAdapterProductId);
    const bool allowed = check.Check();
    m_missingRights = check.Missing();
    m_rightsChecked = true;
    return allowed;
}

std::string CLinuxHost::RightsMessage() {
    if (!m_rightsChecked) {
        HasAdministratorRights();
    }
    return Linux::RightsMessage(m_missingRights);
}

}  // namespace Linux
}  // namespace Tolvane
