// The machine the adapter operations run on, on Linux: the adapter's ports
// from sysfs, termios for the serial calls, SG_IO for the raw disks, and
// the device-rights rule of linux_rights.h for the administrator check.
#pragma once

#include <string>

#include "modes/operation_host.h"
#include "platform/linux/linux_raw_disk_api.h"
#include "platform/linux/linux_serial_api.h"

namespace Tolvane {
namespace Linux {

class CLinuxHost : public COperationHost {
public:
    // The adapter's USB IDs, for the administrator check.
    static constexpr WORD kVendorId = 0x04D8;
    static constexpr WORD kProductId = 0xE6B2;

    explicit CLinuxHost(std::string sysfsRoot = "/sys", std::string deviceDir = "/dev");

    ZRK::CSharedArray<WORD> FindUsbComPorts(WORD vendorId, WORD productId) override;
    ZRK::CSerialApi& Serial() override { return m_serial; }
    ZRK::CRawDiskApi& RawDisk() override { return m_rawDisk; }
    void Sleep(DWORD milliseconds) override;
    bool HasAdministratorRights() override;

    // The concrete APIs, for callers that want their Linux-only extras
    // (RefusedBaudRate, LastError).
    CLinuxSerialApi& LinuxSerial() { return m_serial; }
    CLinuxRawDiskApi& LinuxRawDisk() { return m_rawDisk; }

private:
    std::string m_sysfsRoot;
    std::string m_deviceDir;
    CLinuxSerialApi m_serial;
    CLinuxRawDiskApi m_rawDisk;
};

}  // namespace Linux
}  // namespace Tolvane
