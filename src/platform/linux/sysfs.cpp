#include "platform/linux/sysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <tuple>

namespace Tolvane {
namespace Linux {

namespace {

// The unit of a block device's size attribute, whatever its sector size.
constexpr std::uint64_t kSectorBytes = 512;

bool ParseHexWord(const std::string& text, WORD* value) {
    if (text.empty() || text.size() > 4) {
        return false;
    }
    unsigned v = 0;
    for (char c : text) {
        const char lower = static_cast<char>(c | 0x20);
        if (c >= '0' && c <= '9') {
            v = v * 16 + static_cast<unsigned>(c - '0');
        } else if (lower >= 'a' && lower <= 'f') {
            v = v * 16 + static_cast<unsigned>(lower - 'a' + 10);
        } else {
            return false;
        }
    }
    *value = static_cast<WORD>(v);
    return true;
}

bool ResolvePath(const std::string& path, std::string* resolved) {
    char* r = realpath(path.c_str(), nullptr);
    if (r == nullptr) {
        return false;
    }
    *resolved = r;
    std::free(r);
    return true;
}

std::string ParentDir(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool IsCharacterDevice(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// "6:0:0:1" → {6, 0, 0, 1}.
bool ParseScsiAddress(
    const std::string& name,
    std::tuple<unsigned long, unsigned long, unsigned long, unsigned long>* address) {
    unsigned long parts[4];
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t colon = name.find(':', start);
        if ((i < 3) != (colon != std::string::npos)) {
            return false;
        }
        const std::size_t end = i < 3 ? colon : name.size();
        if (!ParseDecimal(name.substr(start, end - start), 0xFFFFFFFFul, &parts[i])) {
            return false;
        }
        start = end + 1;
    }
    *address = std::make_tuple(parts[0], parts[1], parts[2], parts[3]);
    return true;
}

}  // namespace

bool ParseDecimal64(const std::string& text, std::uint64_t max, std::uint64_t* value) {
    if (text.empty() || (text.size() > 1 && text[0] == '0')) {
        return false;
    }
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        const unsigned digit = static_cast<unsigned>(c - '0');
        // Checked before each step, so that no number of digits wraps round.
        if (digit > max || v > (max - digit) / 10) {
            return false;
        }
        v = v * 10 + digit;
    }
    *value = v;
    return true;
}

bool ParseDecimal(const std::string& text, unsigned long max, unsigned long* value) {
    std::uint64_t v = 0;
    if (!ParseDecimal64(text, max, &v)) {
        return false;
    }
    *value = static_cast<unsigned long>(v);
    return true;
}

bool ParseNumberedName(const std::string& name, const std::string& prefix, unsigned long max,
                       unsigned long* number) {
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           ParseDecimal(name.substr(prefix.size()), max, number);
}

std::vector<std::string> ListDirectory(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) {
        return names;
    }
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(d);
    return names;
}

std::string LinkTargetName(const std::string& link) {
    char target[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) {
        return std::string();
    }
    std::string s(target, static_cast<std::size_t>(n));
    while (!s.empty() && s.back() == '/') {
        s.pop_back();
    }
    const std::size_t slash = s.rfind('/');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

std::string AcmPortPath(const std::string& deviceDir, unsigned number) {
    return deviceDir + "/ttyACM" + std::to_string(number);
}

CSysfs::CSysfs(std::string root, std::string deviceDir)
    : m_root(std::move(root)), m_deviceDir(std::move(deviceDir)) {}

bool CSysfs::Attribute(const std::string& path, std::string* text) const {
    const int fd = open((m_root + "/" + path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    // sysfs attributes are at most a page; anything longer is not one.
    char buffer[4096];
    std::size_t used = 0;
    ssize_t n;
    while ((n = read(fd, buffer + used, sizeof buffer - used)) != 0) {
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || (used += static_cast<std::size_t>(n)) == sizeof buffer) {
            close(fd);
            return false;
        }
    }
    close(fd);
    const char* ws = " \t\n\r\f\v";
    const std::string s(buffer, used);
    const std::size_t first = s.find_first_not_of(ws);
    *text = first == std::string::npos ? std::string()
                                       : s.substr(first, s.find_last_not_of(ws) - first + 1);
    return true;
}

bool CSysfs::BelowUsbDevice(const std::string& path) const {
    std::string root;
    std::string real;
    if (!ResolvePath(m_root, &root) || !ResolvePath(m_root + "/" + path, &real)) {
        return false;
    }
    for (std::string dir = ParentDir(real); dir.size() > root.size() && dir != "/";
         dir = ParentDir(dir)) {
        if (LinkTargetName(dir + "/subsystem") == "usb") {
            return true;
        }
    }
    return false;
}

std::vector<std::uint16_t> CSysfs::AcmPorts(WORD vendorId, WORD productId) const {
    const auto hasId = [this](const std::string& attribute, WORD id) {
        std::string text;
        WORD value = 0;
        return Attribute(attribute, &text) && ParseHexWord(text, &value) && value == id;
    };
    std::vector<std::uint16_t> ports;
    for (const std::string& name : ListDirectory(m_root + "/class/tty")) {
        unsigned long number = 0;
        if (!ParseNumberedName(name, "ttyACM", 0xFFFF, &number)) {
            continue;
        }
        // The kernel follows the link before it takes "..": no path needs
        // resolving here.
        const std::string usbDevice = "class/tty/" + name + "/device/../";
        if (hasId(usbDevice + "idVendor", vendorId) && hasId(usbDevice + "idProduct", productId) &&
            IsCharacterDevice(AcmPortPath(m_deviceDir, static_cast<unsigned>(number)))) {
            ports.push_back(static_cast<std::uint16_t>(number));
        }
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

std::vector<UsbDiskInfo> CSysfs::ListUsbDisks() {
    using Address = std::tuple<unsigned long, unsigned long, unsigned long, unsigned long>;
    std::vector<std::pair<Address, UsbDiskInfo>> found;
    for (const std::string& name : ListDirectory(m_root + "/bus/scsi/devices")) {
        const std::string dir = "bus/scsi/devices/" + name;
        Address address;
        std::string type;
        if (!ParseScsiAddress(name, &address) || !Attribute(dir + "/type", &type) || type != "0" ||
            !BelowUsbDevice(dir)) {
            continue;
        }
        UsbDiskInfo disk;
        for (const std::string& node : ListDirectory(m_root + "/" + dir + "/scsi_generic")) {
            unsigned long number = 0;
            if (ParseNumberedName(node, "sg", 0xFFFFFFFFul, &number)) {
                disk.genericPath = m_deviceDir + "/" + node;
                break;
            }
        }
        // The disk driver's block device, when it has a name fit for a
        // device path.
        for (const std::string& node : ListDirectory(m_root + "/" + dir + "/block")) {
            if (!std::all_of(node.begin(), node.end(), IsAsciiAlnum)) {
                continue;
            }
            disk.blockPath = m_deviceDir + "/" + node;
            std::string text;
            std::uint64_t sectors = 0;
            if (Attribute(dir + "/block/" + node + "/size", &text) &&
                ParseDecimal64(text, UINT64_MAX / kSectorBytes, &sectors)) {
                disk.sizeBytes = sectors * kSectorBytes;
            }
            disk.readOnly = Attribute(dir + "/block/" + node + "/ro", &text) && text == "1";
            break;
        }
        Attribute(dir + "/vendor", &disk.vendor);
        Attribute(dir + "/model", &disk.model);
        found.emplace_back(address, disk);
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<UsbDiskInfo> disks;
    int drives = 0;
    for (auto& entry : found) {
        if (!entry.second.genericPath.empty()) {
            entry.second.driveNumber = drives++;
        }
        disks.push_back(entry.second);
    }
    return disks;
}

}  // namespace Linux
}  // namespace Tolvane
