// The virtual PC's physical drives, reached as "\\.\PhysicalDriveN" through
// the raw-disk calls. Every open records what it was given and each drive
// every CDB it is handed; the contents are fixed at creation and no call can
// change them, so a test can prove that the tool never wrote to a disk.
//
// As on Windows, every drive is in use by the system (its volumes are
// mounted): an open that does not share reading and writing is refused with
// ERROR_SHARING_VIOLATION, and a pass-through request needs a handle opened
// for reading and writing (ERROR_ACCESS_DENIED otherwise).
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/raw_disk_api.h"
#include "platform/sim/virtual_clock.h"

namespace Tolvane {
namespace Sim {

struct SimCdb {
    int drive;
    std::vector<std::uint8_t> bytes;  // cdbLength bytes
};

// The arguments of one CreateFileA on a drive path.
struct SimDriveOpen {
    int drive;  // -1 for a path that names no drive
    DWORD access;
    DWORD shareMode;
    DWORD creation;
    DWORD flags;
};

class CSimDrive {
public:
    // What the drive does with a pass-through request: accept it, reject it
    // (the call fails like an illegal request would), or stall for the
    // request's own time-out before failing.
    enum class Reply { Accept, Reject, Stall };

    explicit CSimDrive(std::vector<std::uint8_t> contents) : m_contents(std::move(contents)) {}

    const std::vector<std::uint8_t>& Contents() const { return m_contents; }
    void Write(const std::uint8_t* data, std::size_t size) {
        std::copy(data, data + std::min(size, m_contents.size()), m_contents.begin());
    }

    // Drives refuse every opcode in this set (a system disk refuses 0xFF).
    std::vector<std::uint8_t> rejectedOpcodes;
    bool stallsForTimeout = false;
    bool openFails = false;  // e.g. no rights to open it read-write
    DWORD openError = ERROR_ACCESS_DENIED;
    // Called after a CDB was accepted (the virtual adapter reacts here).
    std::function<void(const std::vector<std::uint8_t>& cdb)> onCommand;

private:
    std::vector<std::uint8_t> m_contents;
};

class CSimDisks : public ZRK::CRawDiskApi {
public:
    explicit CSimDisks(CVirtualClock& clock) : m_clock(clock) {}
    ~CSimDisks() override;

    // Plugs a drive in at number n (replacing what was there) / pulls it.
    CSimDrive& Attach(int n, std::vector<std::uint8_t> contents);
    void Detach(int n);
    CSimDrive* Drive(int n);
    // The lowest free number at or above `from`, as Windows hands out the
    // next PhysicalDrive number to a newly arrived disk.
    int FreeNumber(int from = 0) const;

    HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, void* security, DWORD creation,
                       DWORD flags, HANDLE templateFile) override;
    BOOL DeviceIoControl(HANDLE device, DWORD code, void* inBuffer, DWORD inSize, void* outBuffer,
                         DWORD outSize, DWORD* returned, void* overlapped) override;
    BOOL CloseHandle(HANDLE device) override;

    DWORD LastError() const { return m_lastError; }
    const std::vector<SimCdb>& Commands() const { return m_commands; }
    // Every open attempt, in order, whether it succeeded or not.
    const std::vector<SimDriveOpen>& Opens() const { return m_opens; }
    std::size_t OpenHandles() const { return m_handles.size(); }
    std::size_t BadCloses() const { return m_badCloses; }
    // Drive numbers whose contents differ from what they were created with.
    std::vector<int> ChangedDrives() const;

    // Parses "\\.\PhysicalDriveN"; -1 for anything else.
    static int DriveNumberOf(LPCSTR path);

private:
    struct Slot {
        std::unique_ptr<CSimDrive> drive;
        std::vector<std::uint8_t> original;
    };
    CVirtualClock& m_clock;
    std::map<int, Slot> m_drives;
    struct Handle {
        int drive;
        DWORD access;
    };
    std::map<std::uintptr_t, Handle> m_handles;
    std::uintptr_t m_nextHandle = 0x5000;
    std::vector<SimCdb> m_commands;
    std::vector<SimDriveOpen> m_opens;
    std::size_t m_badCloses = 0;
    DWORD m_lastError = 0;
};

}  // namespace Sim
}  // namespace Tolvane
