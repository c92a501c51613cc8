// What the kernel shows of the machine in sysfs: the adapter's serial ports
// and the USB disks. Everything is read under a root prefix ("/sys" on a real
// system, a scratch tree in tests), and device nodes are named under a device
// directory ("/dev"). Also the plain readers of the kernel's trees and the
// strict number parsing that /dev and /proc need as well.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/usb_disk_list.h"
#include "platform/win_types.h"

namespace Tolvane {
namespace Linux {

// Strict number parsing: the whole text, decimal digits only (no sign, no
// white space, no leading zero except "0" itself), value at most max.
bool ParseDecimal64(const std::string& text, std::uint64_t max, std::uint64_t* value);
bool ParseDecimal(const std::string& text, unsigned long max, unsigned long* value);

// "ttyACM12" with prefix "ttyACM" → 12; false when the rest is not a strict
// decimal number up to max.
bool ParseNumberedName(const std::string& name, const std::string& prefix, unsigned long max,
                       unsigned long* number);

// The names in a directory, without "." and ".."; empty when unreadable.
std::vector<std::string> ListDirectory(const std::string& dir);

// The last component of a link's target ("../../bus/usb" → "usb"); empty when
// the path is not a readable link.
std::string LinkTargetName(const std::string& link);

// The device node of port n, "<deviceDir>/ttyACMn": where the serial calls
// open COMn, and what the rights check and the command line name.
std::string AcmPortPath(const std::string& deviceDir, unsigned number);

class CSysfs : public CUsbDiskList {
public:
    explicit CSysfs(std::string root = "/sys", std::string deviceDir = "/dev");

    const std::string& DeviceDir() const { return m_deviceDir; }

    // A small attribute file (a path under the root) with leading and
    // trailing white space removed; false when it cannot be read or is
    // longer than a page.
    bool Attribute(const std::string& path, std::string* text) const;

    // The numbers n of the present <deviceDir>/ttyACMn whose USB device has
    // these IDs, ascending (2 before 10).
    //
    // Each class/tty/ttyACMn has a "device" link to its USB interface; the
    // interface's parent directory (read as device/..) is the USB device,
    // whose idVendor and idProduct hold the IDs in one to four hexadecimal
    // digits. A port counts as present when its node is a character device:
    // sysfs shows a port a moment before udev has made its node, and a port
    // without one cannot be opened. An entry whose link dangles, whose IDs
    // are missing or unreadable, or whose number does not fit a COM number
    // (above 65535) is left out rather than guessed at.
    std::vector<std::uint16_t> AcmPorts(WORD vendorId, WORD productId) const;

    // The SCSI disks attached through USB: the SCSI devices under
    // bus/scsi/devices named host:channel:target:lun, of peripheral type 0
    // (disk), whose device directory lies below a USB device (some directory
    // above it has a "subsystem" link naming usb), in ascending
    // host:channel:target:lun order. Internal SATA, NVMe or virtual disks
    // never appear: a vendor-specific command has no business reaching them.
    // The generic node is scsi_generic/sgN, the block node block/<name> with
    // its size (size, in 512-byte sectors) and read-only flag (ro). Drive
    // numbers go to the disks with a generic node, in this order.
    std::vector<UsbDiskInfo> ListUsbDisks() override;

private:
    bool BelowUsbDevice(const std::string& path) const;

    std::string m_root;
    std::string m_deviceDir;
};

}  // namespace Linux
}  // namespace Tolvane
