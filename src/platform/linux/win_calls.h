// What the Windows-call façades over the Linux units share: HANDLE values
// for open devices, the Windows code for an errno, and the system's reason
// kept beside it for Linux messages.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "platform/win_types.h"

namespace Tolvane {
namespace Linux {

// errno to the Windows code that GetLastError reports for the same fault:
// ENOENT → 2, ENOTDIR → 3, EACCES/EPERM/EROFS and EBUSY (another program
// holds the device) and kHeldElsewhere → 5, EINVAL → 87, ENOTTY → 1 (the
// device has no such call), ETIMEDOUT → 121, ENOMEM → 8, anything else → 31.
// A device that has left the bus (EIO, ENODEV, ENXIO) is always
// ERROR_DEVICE_NOT_CONNECTED (1167): the one code callers can test for
// "unplugged", whichever of the three the driver happened to use.
DWORD WinErrorFromErrno(int error);

// "<node>: <reason>": the system's words for error in plain ASCII (the C
// locale's, whatever the process's locale, since the text also goes into
// code page 932 messages), "held by another process" for kHeldElsewhere.
std::string NodeError(const std::string& node, int error);

// The reason the last failed call into the system failed, for messages;
// empty while none has. A later success does not clear it: an operation
// that failed still closes its port or drive afterwards, and the message
// after it must name the failure, not the close.
class CSystemError {
public:
    // Keeps node's error (0: success, which changes nothing), and hands it
    // back.
    int Note(const std::string& node, int error) {
        if (error != 0) {
            m_text = NodeError(node, error);
        }
        return error;
    }
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};

// A blocking wait that resumes after signals, for the full time.
void SleepMilliseconds(DWORD milliseconds);

// Hands out HANDLE values for open devices, which the table owns. Values
// are never 0 or INVALID_HANDLE_VALUE and are not reused while the table
// lives, so a stale handle is refused instead of reaching whatever
// descriptor the kernel handed out next under the same number.
template <typename Entry>
class CHandleTable {
public:
    HANDLE Add(Entry entry) {
        while (m_entries.count(m_next) != 0) {
            Step();
        }
        const std::uintptr_t value = m_next;
        Step();
        m_entries.emplace(value, std::move(entry));
        return reinterpret_cast<HANDLE>(value);
    }

    Entry* Find(HANDLE handle) {
        auto it = m_entries.find(reinterpret_cast<std::uintptr_t>(handle));
        return it == m_entries.end() ? nullptr : &it->second;
    }

    // Closes the entry's device (its destructor does).
    bool Remove(HANDLE handle) {
        return m_entries.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
    }

private:
    // Multiples of four, like the handles of Windows; far from small numbers
    // so a descriptor passed by mistake as a handle is not found, and far
    // from the top, where INVALID_HANDLE_VALUE is.
    static constexpr std::uintptr_t kFirst = 0x10000;
    static constexpr std::uintptr_t kLast = UINTPTR_MAX - 0xFFFF;

    void Step() { m_next = m_next >= kLast ? kFirst : m_next + 4; }

    std::map<std::uintptr_t, Entry> m_entries;
    std::uintptr_t m_next = kFirst;
};

}  // namespace Linux
}  // namespace Tolvane
