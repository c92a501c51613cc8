#include "platform/sim/sim_disks.h"

#include <algorithm>
#include <cstring>

#include "modes/pass_through.h"

namespace Tolvane {
namespace Sim {

CSimDisks::~CSimDisks() = default;

CSimDrive& CSimDisks::Attach(int n, std::vector<std::uint8_t> contents) {
    Slot& slot = m_drives[n];
    slot.original = contents;
    slot.drive = std::make_unique<CSimDrive>(std::move(contents));
    return *slot.drive;
}

void CSimDisks::Detach(int n) {
    m_drives.erase(n);
    // Handles to a pulled drive stay allocated but answer nothing.
}

CSimDrive* CSimDisks::Drive(int n) {
    auto it = m_drives.find(n);
    return it == m_drives.end() ? nullptr : it->second.drive.get();
}

int CSimDisks::FreeNumber(int from) const {
    int n = from;
    while (m_drives.count(n) != 0) {
        ++n;
    }
    return n;
}

int CSimDisks::DriveNumberOf(LPCSTR path) {
    static const char kPrefix[] = "\\\\.\\PhysicalDrive";
    const std::size_t prefixLength = sizeof kPrefix - 1;
    if (path == nullptr || std::strncmp(path, kPrefix, prefixLength) != 0) {
        return -1;
    }
    const char* digits = path + prefixLength;
    if (*digits == '\0') {
        return -1;
    }
    int n = 0;
    for (const char* p = digits; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || n > 100000) {
            return -1;
        }
        n = n * 10 + (*p - '0');
    }
    return n;
}

HANDLE CSimDisks::CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, void*, DWORD creation,
                              DWORD flags, HANDLE) {
    const int n = DriveNumberOf(path);
    m_opens.push_back({n, access, shareMode, creation, flags});
    auto it = m_drives.find(n);
    if (n < 0 || it == m_drives.end()) {
        m_lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    if (creation != OPEN_EXISTING) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    if (it->second.drive->openFails) {
        m_lastError = it->second.drive->openError;
        return INVALID_HANDLE_VALUE;
    }
    constexpr DWORD kShareBoth = FILE_SHARE_READ | FILE_SHARE_WRITE;
    if ((shareMode & kShareBoth) != kShareBoth) {
        m_lastError = ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
    }
    const std::uintptr_t value = m_nextHandle;
    m_nextHandle += 4;
    m_handles[value] = Handle{n, access};
    m_lastError = 0;
    return reinterpret_cast<HANDLE>(value);
}

BOOL CSimDisks::DeviceIoControl(HANDLE device, DWORD code, void* inBuffer, DWORD inSize,
                                void* outBuffer, DWORD outSize, DWORD* returned, void*) {
    auto h = m_handles.find(reinterpret_cast<std::uintptr_t>(device));
    if (h == m_handles.end()) {
        m_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    CSimDrive* drive = Drive(h->second.drive);
    if (drive == nullptr) {
        m_lastError = ERROR_DEVICE_NOT_CONNECTED;
        return FALSE;
    }
    if (code != ZRK::kIoctlScsiPassThroughDirect) {
        m_lastError = ERROR_INVALID_FUNCTION;
        return FALSE;
    }
    constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
    if ((h->second.access & kReadWrite) != kReadWrite) {
        m_lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    PassThroughRequest request{};
    if (inBuffer == nullptr || outBuffer == nullptr || outSize < inSize ||
        !ParsePassThroughRecord(PassThroughLayout::Native(), inBuffer, inSize, &request)) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    std::vector<std::uint8_t> cdb(request.cdb, request.cdb + request.cdbLength);
    m_commands.push_back({h->second.drive, cdb});

    if (drive->stallsForTimeout) {
        m_clock.Advance(static_cast<CVirtualClock::Millis>(request.timeOutValue) * 1000);
        m_lastError = ERROR_SEM_TIMEOUT;
        return FALSE;
    }
    // A data-out request really writes (at the start of the disk, which is
    // enough to be seen): the check that the tool never writes must be able
    // to fail.
    if (request.dataIn == kScsiIoctlDataOut && request.dataTransferLength != 0 &&
        request.dataBuffer != 0) {
        drive->Write(
            reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(request.dataBuffer)),
            request.dataTransferLength);
    }
    const auto& rejected = drive->rejectedOpcodes;
    if (std::find(rejected.begin(), rejected.end(), cdb[0]) != rejected.end()) {
        m_lastError = ERROR_INVALID_FUNCTION;
        return FALSE;
    }
    if (returned != nullptr) {
        *returned = inSize;
    }
    m_lastError = 0;
    // The callback may detach this very drive (the adapter leaving the bus).
    auto onCommand = drive->onCommand;
    if (onCommand) {
        onCommand(cdb);
    }
    return TRUE;
}

BOOL CSimDisks::CloseHandle(HANDLE device) {
    if (m_handles.erase(reinterpret_cast<std::uintptr_t>(device)) == 0) {
        ++m_badCloses;
        m_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    return TRUE;
}

std::vector<int> CSimDisks::ChangedDrives() const {
    std::vector<int> changed;
    for (const auto& [n, slot] : m_drives) {
        if (slot.drive->Contents() != slot.original) {
            changed.push_back(n);
        }
    }
    return changed;
}

}  // namespace Sim
}  // namespace Tolvane
