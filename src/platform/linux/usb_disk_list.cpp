#include "platform/linux/usb_disk_list.h"

#include "platform/linux/linux_raw_disk_api.h"

namespace Tolvane {
namespace Linux {

CSysfsUsbDiskList::CSysfsUsbDiskList(std::string sysfsRoot, std::string deviceDir)
    : m_sysfsRoot(std::move(sysfsRoot)), m_deviceDir(std::move(deviceDir)) {}

std::vector<UsbDiskInfo> CSysfsUsbDiskList::ListUsbDisks() {
    std::vector<UsbDiskInfo> list;
    int drives = 0;
    for (const UsbScsiDisk& disk : ListUsbScsiDisks(m_sysfsRoot)) {
        UsbDiskInfo info;
        if (!disk.blockNode.empty()) {
            info.blockPath = m_deviceDir + "/" + disk.blockNode;
        }
        if (!disk.genericNode.empty()) {
            // Numbered as CLinuxRawDiskApi numbers them: the disks it can
            // reach, in the list's order.
            info.genericPath = m_deviceDir + "/" + disk.genericNode;
            info.driveNumber = drives++;
        }
        info.vendor = disk.vendor;
        info.model = disk.model;
        info.sizeBytes = disk.sizeBytes;
        info.readOnly = disk.readOnly;
        list.push_back(info);
    }
    return list;
}

}  // namespace Linux
}  // namespace Tolvane
