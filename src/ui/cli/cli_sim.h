// The virtual PC as the sub-commands see it under --simulate: its USB disks
// named the way Linux would name them, and a machine that starts where the
// sub-command has something to do.
#pragma once

#include <vector>

#include "platform/linux/usb_disk_list.h"
#include "platform/sim/virtual_pc.h"
#include "ui/cli/cli_command.h"

namespace Tolvane {
namespace Cli {

// The data disk (drive 1) and the adapter's drive in its mass-storage state
// count as USB disks, the system disk (drive 0) as an internal one. Drive N
// is /dev/sd<a+N> with the generic node /dev/sgN; vendor "SIM", model "DATA
// DISK" or "SCSI TARGET n"; the adapter's drive is read-only unless the
// switch made it writable.
class CVirtualPcUsbDiskList : public Linux::CUsbDiskList {
public:
    explicit CVirtualPcUsbDiskList(Sim::CVirtualPC& pc) : m_pc(pc) {}
    std::vector<Linux::UsbDiskInfo> ListUsbDisks() override;

private:
    Sim::CVirtualPC& m_pc;
};

// The machine of `tolvane <command> --simulate`: real time, with the
// adapter in the mass-storage state (target 0, read-only) for return and in
// the normal state otherwise.
Sim::VirtualPcConfig SimulatedMachine(ECommand command);

}  // namespace Cli
}  // namespace Tolvane
