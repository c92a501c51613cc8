// What the Linux platform classes share: Windows error codes for errno
// values, HANDLE values for file descriptors, sysfs reading and plain waits.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace Tolvane {
namespace Linux {

// errno to the Windows code that GetLastError reports for the same fault:
// ENOENT/ENOTDIR → 2, EACCES/EPERM/EROFS → 5, EBUSY → 32 (another program
// holds the device), EINVAL → 87, ENOTTY → 1 (the device has no such call),
// ETIMEDOUT → 121, EBADF → 6, ENOMEM → 8, anything else → 31.
// A device that has left the bus (EIO, ENODEV, ENXIO) is always
// ERROR_DEVICE_NOT_CONNECTED (1167): the one code callers can test for
// "unplugged", whichever of the three the driver happened to use.
DWORD WinErrorFromErrno(int error);

// EIO, ENODEV or ENXIO: the device behind the descriptor is gone.
bool IsDeviceGoneErrno(int error);

// Whether poll reports a hang-up or an error on the descriptor, without
// waiting: what a tty shows once its device has left the bus.
bool DescriptorHungUp(int fd);

// A blocking wait that resumes after signals, for the full time.
void SleepMilliseconds(DWORD milliseconds);

// Milliseconds of a monotonic clock, for bounding waits.
std::uint64_t MonotonicMilliseconds();

// Hands out HANDLE values for open devices. Values are never 0 or
// INVALID_HANDLE_VALUE and are not reused while the table lives, so a stale
// handle is refused instead of reaching whatever descriptor the kernel
// handed out next under the same number.
template <typename Entry>
class CHandleTable {
public:
    HANDLE Add(const Entry& entry) {
        while (m_next == 0 || m_next == kInvalid || m_entries.count(m_next) != 0) {
            m_next = m_next >= kLast ? kFirst : m_next + kStep;
        }
        const std::uintptr_t value = m_next;
        m_next = m_next >= kLast ? kFirst : m_next + kStep;
        m_entries.emplace(value, entry);
        return reinterpret_cast<HANDLE>(value);
    }

    Entry* Find(HANDLE handle) {
        auto it = m_entries.find(reinterpret_cast<std::uintptr_t>(handle));
        return it == m_entries.end() ? nullptr : &it->second;
    }

    bool Remove(HANDLE handle, Entry* removed) {
        auto it = m_entries.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == m_entries.end()) {
            return false;
        }
        *removed = it->second;
        m_entries.erase(it);
        return true;
    }

    // Takes every entry out, for a destructor that must close them.
    std::vector<Entry> TakeAll() {
        std::vector<Entry> all;
        for (auto& item : m_entries) {
            all.push_back(item.second);
        }
        m_entries.clear();
        return all;
    }

private:
    // Multiples of four, like the handles of Windows; far from small numbers
    // so a descriptor passed by mistake as a handle is not found.
    static constexpr std::uintptr_t kFirst = 0x10000;
    static constexpr std::uintptr_t kStep = 4;
    static constexpr std::uintptr_t kLast = UINTPTR_MAX - 0xFFFF;
    static constexpr std::uintptr_t kInvalid = UINTPTR_MAX;

    std::map<std::uintptr_t, Entry> m_entries;
    std::uintptr_t m_next = kFirst;
};

// sysfs ------------------------------------------------------------------

// The names in a directory, without "." and ".."; empty when unreadable.
std::vector<std::string> ListDirectory(const std::string& dir);

// The text of a small attribute file with leading and trailing white space
// removed; false when it cannot be read.
bool ReadTrimmedAttribute(const std::string& path, std::string* text);

// The path with every symbolic link resolved; false for a dangling link or a
// missing file.
bool ResolvePath(const std::string& path, std::string* resolved);

// The last component of a link's target ("../../bus/usb" → "usb"); empty when
// the path is not a readable link.
std::string LinkTargetName(const std::string& link);

// Strict number parsing: the whole text, decimal digits only (no sign, no
// white space, no leading zero except "0" itself), value at most max.
bool ParseDecimal(const std::string& text, unsigned long max, unsigned long* value);
// The same over the whole 64-bit range (a disk's sector count).
bool ParseDecimal64(const std::string& text, std::uint64_t max, std::uint64_t* value);

// One to four hexadecimal digits, as sysfs writes USB IDs ("04d8").
bool ParseHexWord(const std::string& text, WORD* value);

// "ttyACM12" with prefix "ttyACM" → 12; false when the rest is not a strict
// decimal number up to max.
bool ParseNumberedName(const std::string& name, const std::string& prefix, unsigned long max,
                       unsigned long* number);

}  // namespace Linux
}  // namespace Tolvane
