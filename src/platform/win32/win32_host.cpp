#include "platform/win32/win32_host.h"

#include <windows.h>

#include "app/admin_check.h"
#include "discovery/com_port_finder.h"

namespace Tolvane {
namespace Win32 {

ZRK::CSharedArray<WORD> CWin32Host::FindUsbComPorts(WORD vendorId, WORD productId) {
    return ZRK::FindUsbComPorts(ZRK::CDiscoveryApis{m_registry, m_devices}, vendorId, productId);
}

void CWin32Host::Sleep(DWORD milliseconds) {
    ::Sleep(milliseconds);
}

bool CWin32Host::HasAdministratorRights() {
    return CheckAdministratorRights(m_registry);
}

}  // namespace Win32
}  // namespace Tolvane
