#include "platform/linux/acm_port_finder.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/linux/linux_support.h"

namespace Tolvane {
namespace Linux {

namespace {

bool HasId(const std::string& attribute, WORD id) {
    std::string text;
    WORD value = 0;
    return ReadTrimmedAttribute(attribute, &text) && ParseHexWord(text, &value) && value == id;
}

bool IsCharacterDevice(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

}  // namespace

std::string AcmPortPath(const std::string& deviceDir, unsigned number) {
    return deviceDir + "/ttyACM" + std::to_string(number);
}

std::vector<std::uint16_t> FindAcmPorts(const std::string& sysfsRoot, const std::string& deviceDir,
                                        WORD vendorId, WORD productId) {
    std::vector<std::uint16_t> ports;
    const std::string classDir = sysfsRoot + "/class/tty/";
    for (const std::string& name : ListDirectory(classDir)) {
        unsigned long number = 0;
        if (!ParseNumberedName(name, "ttyACM", 0xFFFF, &number)) {
            continue;
        }
        // The kernel follows the link before it takes "..": no path needs
        // resolving here.
        const std::string usbDevice = classDir + name + "/device/../";
        if (HasId(usbDevice + "idVendor", vendorId) && HasId(usbDevice + "idProduct", productId) &&
            IsCharacterDevice(AcmPortPath(deviceDir, static_cast<unsigned>(number)))) {
            ports.push_back(static_cast<std::uint16_t>(number));
        }
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

}  // namespace Linux
}  // namespace Tolvane
