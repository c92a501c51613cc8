// The machine the adapter operations run on, on Windows: the port finder
// over the real registry and SetupAPI device list, the real serial and
// raw-disk calls, Sleep, and the administrator check on the real registry.
#pragma once

#include "modes/operation_host.h"
#include "platform/win32/win32_device_list_api.h"
#include "platform/win32/win32_raw_disk_api.h"
#include "platform/win32/win32_registry_api.h"
#include "platform/win32/win32_serial_api.h"

namespace Tolvane {
namespace Win32 {

class CWin32Host final : public COperationHost {
public:
    ZRK::CSharedArray<WORD> FindUsbComPorts(WORD vendorId, WORD productId) override;
    ZRK::CSerialApi& Serial() override { return m_serial; }
    ZRK::CRawDiskApi& RawDisk() override { return m_rawDisk; }
    void Sleep(DWORD milliseconds) override;
    bool HasAdministratorRights() override;

private:
    ZRK::CWin32RegistryApi m_registry;
    ZRK::CWin32DeviceListApi m_devices;
    ZRK::CWin32SerialApi m_serial;
    ZRK::CWin32RawDiskApi m_rawDisk;
};

}  // namespace Win32
}  // namespace Tolvane
