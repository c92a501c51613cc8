// The USB disks a user may mount, as `tolvane status` shows them, the
// switch looks for the adapter's disk among them and the return's drive
// numbers reach them. Linux reads them from sysfs (CSysfs); the simulation
// shows the virtual PC's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Tolvane {
namespace Linux {

struct UsbDiskInfo {
    std::string blockPath;    // "/dev/sdb"; empty when no disk driver took it
    std::string genericPath;  // "/dev/sg2"; empty when the disk has none
    std::string vendor;       // as the disk reports them
    std::string model;
    std::uint64_t sizeBytes = 0;  // 0: no medium, or unknown
    bool readOnly = false;
    // N of the "\\.\PhysicalDriveN" that the return's calls reach this
    // disk by; -1 when they cannot reach it (no generic node).
    int driveNumber = -1;
};

class CUsbDiskList {
public:
    virtual ~CUsbDiskList() = default;
    // The disks present now, in a stable order.
    virtual std::vector<UsbDiskInfo> ListUsbDisks() = 0;
};

}  // namespace Linux
}  // namespace Tolvane
