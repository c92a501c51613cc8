// The machine the adapter operations run on, on Linux: the adapter's ports
// from sysfs, termios for the serial calls, SG_IO for the raw disks, and
// the device-rights rule of linux_rights.h for the administrator check.
#pragma once

#include <string>
#include <vector>

#include "modes/operation_host.h"
#include "platform/linux/linux_raw_disk_api.h"
#include "platform/linux/linux_rights.h"
#include "platform/linux/linux_serial_api.h"

namespace Tolvane {
namespace Linux {

class CLinuxHost : public COperationHost {
public:
    explicit CLinuxHost(std::string sysfsRoot = "/sys", std::string deviceDir = "/dev");

    ZRK::CSharedArray<WORD> FindUsbComPorts(WORD vendorId, WORD productId) override;
    ZRK::CSerialApi& Serial() override { return m_serial; }
    ZRK::CRawDiskApi& RawDisk() override { return m_rawDisk; }
    void Sleep(DWORD milliseconds) override;
    bool HasAdministratorRights() override;
    // What the last HasAdministratorRights() found missing, in words (see
    // RightsMessage in linux_rights.h); a check runs first when none has.
    // Empty when the last check passed.
    std::string RightsMessage() override;

    // The concrete APIs, for callers that want their Linux-only extras
    // (RefusedBaudRate, LastError).
    CLinuxSerialApi& LinuxSerial() { return m_serial; }
    CLinuxRawDiskApi& LinuxRawDisk() { return m_rawDisk; }

private:
    std::string m_sysfsRoot;
    std::string m_deviceDir;
    CLinuxSerialApi m_serial;
    CLinuxRawDiskApi m_rawDisk;
    bool m_rightsChecked = false;
    std::vector<MissingRight> m_missingRights;
};

}  // namespace Linux
}  // namespace Tolvane
