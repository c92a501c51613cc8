// The machine the adapter operations run on, on Linux: the adapter's ports
// from sysfs, the serial calls over the tty port unit, the raw-disk calls
// over the SG device unit, and the device-rights rule of linux_rights.h for
// the administrator check.
#pragma once

#include <string>
#include <vector>

#include "modes/operation_host.h"
#include "platform/linux/linux_raw_disk_api.h"
#include "platform/linux/linux_rights.h"
#include "platform/linux/linux_serial_api.h"
#include "platform/linux/sysfs.h"
#include "platform/linux/win_calls.h"

namespace Tolvane {
namespace Linux {

class CLinuxHost : public COperationHost {
public:
    explicit CLinuxHost(std::string sysfsRoot = "/sys", std::string deviceDir = "/dev",
                        std::string procRoot = "/proc");

    ZRK::CSharedArray<WORD> FindUsbComPorts(WORD vendorId, WORD productId) override;
    ZRK::CSerialApi& Serial() override { return m_serial; }
    ZRK::CRawDiskApi& RawDisk() override { return m_rawDisk; }
    void Sleep(DWORD milliseconds) override { SleepMilliseconds(milliseconds); }
    bool HasAdministratorRights() override;
    // What the last HasAdministratorRights() found missing, in words (see
    // RightsMessage in linux_rights.h); a check runs first when none has.
    // Empty when the last check passed.
    std::string RightsMessage(ELanguage language) override;

    // For a Linux message after a failed operation: the system's reason for
    // the last serial or raw-disk call that failed in the system, as
    // "<node>: <reason>" in plain ASCII ("/dev/ttyACM0: Device or resource
    // busy", "/dev/ttyACM0: held by another process", "/dev/sg2: Permission
    // denied"). Empty while none has failed. Later successes (the close
    // after a failed write) and calls refused before the system was asked
    // (a path or handle they do not know, a drive number no disk has, a
    // garbled request) leave it as it was.
    const std::string& LastSystemError() const { return m_reasons.Text(); }

    // The USB disks as the raw-disk calls number them, from the same tree.
    CSysfs& UsbDisks() { return m_sysfs; }

private:
    CSysfs m_sysfs;
    CSystemError m_reasons;
    CLinuxSerialApi m_serial;
    CLinuxRawDiskApi m_rawDisk;
    bool m_rightsChecked = false;
    std::vector<MissingRight> m_missingRights;
};

}  // namespace Linux
}  // namespace Tolvane
