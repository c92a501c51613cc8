// The Linux side of the USB serial port finder: the adapter's ports are the
// CDC ACM ttys the kernel names ttyACMn, and their USB IDs are in sysfs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace Tolvane {
namespace Linux {

// The device node of port n, "<deviceDir>/ttyACMn": where the serial calls
// open COMn, and what the rights check and the command line name.
std::string AcmPortPath(const std::string& deviceDir, unsigned number);

// The numbers n of the present <deviceDir>/ttyACMn whose USB device has
// these IDs, ascending (2 before 10). sysfsRoot is "/sys" and deviceDir
// "/dev" on a real system.
//
// Each <root>/class/tty/ttyACMn has a "device" link to its USB interface;
// the interface's parent directory (read as device/..) is the USB device,
// whose idVendor and idProduct hold the IDs in hexadecimal. A port counts
// as present when its node is a character device: sysfs shows a port a
// moment before udev has made its node, and a port without one cannot be
// opened. An entry whose link dangles, whose IDs are missing or
// unreadable, or whose number does not fit a COM number (above 65535) is
// left out rather than guessed at.
std::vector<std::uint16_t> FindAcmPorts(const std::string& sysfsRoot, const std::string& deviceDir,
                                        WORD vendorId, WORD productId);

}  // namespace Linux
}  // namespace Tolvane
