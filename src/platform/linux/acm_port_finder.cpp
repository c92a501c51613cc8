#include "platform/linux/acm_port_finder.h"

#include <algorithm>

#include "platform/linux/linux_support.h"

namespace Tolvane {
namespace Linux {

std::vector<std::uint16_t> FindAcmPorts(const std::string& sysfsRoot, WORD vendorId,
                                        WORD productId) {
    std::vector<std::uint16_t> ports;
    const std::string classDir = sysfsRoot + "/class/tty";
    for (const std::string& name : ListDirectory(classDir)) {
        unsigned long number = 0;
        if (!ParseNumberedName(name, "ttyACM", 0xFFFF, &number)) {
            continue;
        }
        std::string interfaceDir;
        if (!ResolvePath(classDir + "/" + name + "/device", &interfaceDir)) {
            continue;
        }
        const std::size_t slash = interfaceDir.rfind('/');
        if (slash == std::string::npos || slash == 0) {
            continue;
        }
        const std::string usbDevice = interfaceDir.substr(0, slash);
        std::string vendorText;
        std::string productText;
        WORD vendor = 0;
        WORD product = 0;
        if (ReadTrimmedAttribute(usbDevice + "/idVendor", &vendorText) &&
            ReadTrimmedAttribute(usbDevice + "/idProduct", &productText) &&
            ParseHexWord(vendorText, &vendor) && ParseHexWord(productText, &product) &&
            vendor == vendorId && product == productId) {
            ports.push_back(static_cast<std::uint16_t>(number));
        }
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

}  // namespace Linux
}  // namespace Tolvane
