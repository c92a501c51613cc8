#include "ui/cli/cli_sim.h"

#include <set>
#include <string>

namespace Tolvane {
namespace Cli {

std::vector<Linux::UsbDiskInfo> CVirtualPcUsbDiskList::ListUsbDisks() {
    m_pc.CatchUp();
    const Sim::CVirtualAdapter& adapter = m_pc.Adapter();
    std::vector<Linux::UsbDiskInfo> list;
    // Without the data disk, the adapter's drive takes number 1.
    for (const int n : std::set<int>{Sim::CVirtualPC::kDataDrive, adapter.DriveNumber()}) {
        const Sim::CSimDrive* drive = n >= 0 && n < 26 ? m_pc.RawDisk().Drive(n) : nullptr;
        if (drive == nullptr) {
            continue;
        }
        const bool adapters = n == adapter.DriveNumber();
        Linux::UsbDiskInfo info;
        info.blockPath = "/dev/sd" + std::string(1, static_cast<char>('a' + n));
        info.genericPath = "/dev/sg" + std::to_string(n);
        info.vendor = "SIM";
        info.model = adapters ? "SCSI TARGET " + std::to_string(adapter.Target()) : "DATA DISK";
        info.sizeBytes = drive->Contents().size();
        info.readOnly = adapters && !adapter.Writable();
        info.driveNumber = n;
        list.push_back(info);
    }
    return list;
}

Sim::VirtualPcConfig SimulatedMachine(ECommand command) {
    Sim::VirtualPcConfig config;
    config.realTime = true;
    if (command == ECommand::kReturn) {
        config.adapter.initialState = Sim::EAdapterState::kMassStorage;
    }
    return config;
}

}  // namespace Cli
}  // namespace Tolvane
