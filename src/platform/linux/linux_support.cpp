#include "platform/linux/linux_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace Tolvane {
namespace Linux {

DWORD WinErrorFromErrno(int error) {
    switch (error) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case EBUSY:
            return ERROR_SHARING_VIOLATION;
        case EIO:
        case ENODEV:
        case ENXIO:
            return ERROR_DEVICE_NOT_CONNECTED;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ENOTTY:
            return ERROR_INVALID_FUNCTION;
        case ETIMEDOUT:
            return ERROR_SEM_TIMEOUT;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_GEN_FAILURE;
    }
}

bool IsDeviceGoneErrno(int error) {
    return error == EIO || error == ENODEV || error == ENXIO;
}

bool DescriptorHungUp(int fd) {
    // No events asked for: hang-up, error and an invalid descriptor are
    // reported regardless.
    pollfd p{fd, 0, 0};
    int n;
    do {
        n = poll(&p, 1, 0);
    } while (n < 0 && errno == EINTR);
    return n > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void SleepMilliseconds(DWORD milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

std::uint64_t MonotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
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

bool ReadTrimmedAttribute(const std::string& path, std::string* text) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    // sysfs attributes are at most a page; anything longer is not one.
    char buffer[4096];
    std::size_t used = 0;
    bool ok = true;
    for (;;) {
        const ssize_t n = read(fd, buffer + used, sizeof buffer - used);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
        if (used == sizeof buffer) {
            ok = false;
            break;
        }
    }
    close(fd);
    if (!ok) {
        return false;
    }
    const char* ws = " \t\n\r\f\v";
    std::string s(buffer, used);
    const std::size_t first = s.find_first_not_of(ws);
    if (first == std::string::npos) {
        text->clear();
        return true;
    }
    *text = s.substr(first, s.find_last_not_of(ws) - first + 1);
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

bool ParseHexWord(const std::string& text, WORD* value) {
    if (text.empty() || text.size() > 4) {
        return false;
    }
    unsigned v = 0;
    for (char c : text) {
        unsigned d;
        if (c >= '0' && c <= '9') {
            d = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            d = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            d = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        v = v * 16 + d;
    }
    *value = static_cast<WORD>(v);
    return true;
}

bool ParseNumberedName(const std::string& name, const std::string& prefix, unsigned long max,
                       unsigned long* number) {
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           ParseDecimal(name.substr(prefix.size()), max, number);
}

}  // namespace Linux
}  // namespace Tolvane
