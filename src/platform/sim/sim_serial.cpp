#include "platform/sim/sim_serial.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace Tolvane {
namespace Sim {

// CSimSerialDevice --------------------------------------------------------

CSimSerialDevice::CSimSerialDevice(std::string path) : m_path(std::move(path)) {
    // What a USB CDC driver reports before anyone configured the line.
    m_dcb.DCBlength = sizeof(DCB);
    m_dcb.BaudRate = 9600;
    m_dcb.fBinary = 1;
    m_dcb.fDtrControl = DTR_CONTROL_ENABLE;
    m_dcb.fRtsControl = RTS_CONTROL_ENABLE;
    m_dcb.fTXContinueOnXoff = 1;
    m_dcb.XonLim = 2048;
    m_dcb.XoffLim = 512;
    m_dcb.ByteSize = 8;
    m_dcb.Parity = NOPARITY;
    m_dcb.StopBits = ONESTOPBIT;
    m_dcb.XonChar = 0x11;
    m_dcb.XoffChar = 0x13;
}

void CSimSerialDevice::QueueReply(const Bytes& bytes) {
    m_replies.insert(m_replies.end(), bytes.begin(), bytes.end());
}

void CSimSerialDevice::SetPresent(bool present) {
    if (m_present && !present) {
        // Handles opened before stay stale even if the device returns.
        ++m_generation;
        m_replies.clear();
    }
    m_present = present;
}

void CSimSerialDevice::FailCall(SerialCall call, DWORD error) {
    if (error == 0) {
        m_faults.erase(call);
    } else {
        m_faults[call] = error;
    }
}

DWORD CSimSerialDevice::FaultOf(SerialCall call) const {
    auto it = m_faults.find(call);
    return it == m_faults.end() ? 0 : it->second;
}

void CSimSerialDevice::ClearFaults() {
    m_faults.clear();
    m_writeLimit = kUnlimited;
}

std::size_t CSimSerialDevice::CallCount(SerialCall call) const {
    return static_cast<std::size_t>(std::count(m_calls.begin(), m_calls.end(), call));
}

void CSimSerialDevice::Accept(const Bytes& block) {
    m_received.insert(m_received.end(), block.begin(), block.end());
    if (onReceive) {
        // A copy: the script may replace itself while it runs.
        auto script = onReceive;
        script(block);
    }
}

// CSimSerial --------------------------------------------------------------

CSimSerial::CSimSerial(CVirtualClock& clock) : m_clock(clock) {}

std::string CSimSerial::Key(const std::string& path) {
    std::string key = path;
    for (char& c : key) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return key;
}

CSimSerialDevice& CSimSerial::AddDevice(const std::string& path) {
    auto& slot = m_devices[Key(path)];
    if (!slot) {
        slot = std::make_shared<CSimSerialDevice>(path);
    }
    return *slot;
}

CSimSerialDevice* CSimSerial::FindDevice(const std::string& path) {
    auto it = m_devices.find(Key(path));
    return it == m_devices.end() ? nullptr : it->second.get();
}

std::size_t CSimSerial::OpenHandleCount() const {
    return static_cast<std::size_t>(
        std::count_if(m_handles.begin(), m_handles.end(),
                      [](const std::pair<const std::uintptr_t, HandleEntry>& entry) {
                          return entry.second.open;
                      }));
}

BOOL CSimSerial::Fail(DWORD error) {
    m_lastError = error;
    return FALSE;
}

std::shared_ptr<CSimSerialDevice> CSimSerial::Enter(HANDLE file, SerialCall call) {
    auto it = m_handles.find(reinterpret_cast<std::uintptr_t>(file));
    if (it == m_handles.end() || !it->second.open) {
        ++m_badHandles;
        Fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HandleEntry& entry = it->second;
    std::shared_ptr<CSimSerialDevice> device = entry.device;
    device->m_calls.push_back(call);
    if (!device->m_present || device->m_generation != entry.generation) {
        Fail(CSimSerialDevice::kVanishedError);
        return nullptr;
    }
    if (DWORD error = device->FaultOf(call)) {
        Fail(error);
        return nullptr;
    }
    return device;
}

HANDLE CSimSerial::CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, void* /*security*/,
                               DWORD creation, DWORD flags, HANDLE /*templateFile*/) {
    if (path == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto it = m_devices.find(Key(path));
    if (it == m_devices.end()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const std::shared_ptr<CSimSerialDevice>& device = it->second;
    device->m_calls.push_back(SerialCall::kCreateFile);
    device->m_openArgs = {access, shareMode, creation, flags};
    if (!device->m_present) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (DWORD error = device->FaultOf(SerialCall::kCreateFile)) {
        Fail(error);
        return INVALID_HANDLE_VALUE;
    }
    // A COM port is opened exclusively.
    for (const auto& entry : m_handles) {
        if (entry.second.open && entry.second.device == device &&
            entry.second.generation == device->m_generation) {
            Fail(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
    }
    const std::uintptr_t value = m_nextHandle;
    m_nextHandle += 4;
    m_handles[value] = HandleEntry{device, device->m_generation, true};
    ++device->m_openCount;
    return reinterpret_cast<HANDLE>(value);
}

BOOL CSimSerial::GetCommState(HANDLE file, DCB* dcb) {
    auto device = Enter(file, SerialCall::kGetCommState);
    if (device == nullptr) {
        return FALSE;
    }
    if (dcb == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    *dcb = device->m_dcb;
    return TRUE;
}

BOOL CSimSerial::SetCommState(HANDLE file, DCB* dcb) {
    auto device = Enter(file, SerialCall::kSetCommState);
    if (device == nullptr) {
        return FALSE;
    }
    if (dcb == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    device->m_dcb = *dcb;
    device->m_statesSet.push_back(*dcb);
    return TRUE;
}

BOOL CSimSerial::GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    auto device = Enter(file, SerialCall::kGetCommTimeouts);
    if (device == nullptr) {
        return FALSE;
    }
    if (timeouts == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    *timeouts = device->m_timeouts;
    return TRUE;
}

BOOL CSimSerial::SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    auto device = Enter(file, SerialCall::kSetCommTimeouts);
    if (device == nullptr) {
        return FALSE;
    }
    if (timeouts == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    device->m_timeouts = *timeouts;
    return TRUE;
}

BOOL CSimSerial::SetCommMask(HANDLE file, DWORD mask) {
    auto device = Enter(file, SerialCall::kSetCommMask);
    if (device == nullptr) {
        return FALSE;
    }
    device->m_eventMask = mask;
    return TRUE;
}

BOOL CSimSerial::PurgeComm(HANDLE file, DWORD flags) {
    auto device = Enter(file, SerialCall::kPurgeComm);
    if (device == nullptr) {
        return FALSE;
    }
    if ((flags & PURGE_RXCLEAR) != 0) {
        device->m_replies.clear();
    }
    return TRUE;
}

BOOL CSimSerial::ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) {
    auto device = Enter(file, SerialCall::kClearCommError);
    if (device == nullptr) {
        return FALSE;
    }
    if (errors != nullptr) {
        *errors = 0;
    }
    if (stat != nullptr) {
        *stat = COMSTAT{};
        stat->cbInQue = static_cast<DWORD>(device->m_replies.size());
    }
    return TRUE;
}

BOOL CSimSerial::GetCommModemStatus(HANDLE file, DWORD* status) {
    auto device = Enter(file, SerialCall::kGetCommModemStatus);
    if (device == nullptr) {
        return FALSE;
    }
    if (status == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    *status = device->m_modemStatus;
    return TRUE;
}

BOOL CSimSerial::ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read,
                          void* /*overlapped*/) {
    auto device = Enter(file, SerialCall::kReadFile);
    if (device == nullptr) {
        return FALSE;
    }
    if (read == nullptr || (buffer == nullptr && count != 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    // The port's time-outs make a read return at once with what has arrived.
    const std::size_t n = std::min<std::size_t>(count, device->m_replies.size());
    std::copy_n(device->m_replies.begin(), n, static_cast<std::uint8_t*>(buffer));
    device->m_replies.erase(device->m_replies.begin(),
                            device->m_replies.begin() + static_cast<std::ptrdiff_t>(n));
    *read = static_cast<DWORD>(n);
    return TRUE;
}

BOOL CSimSerial::WriteFile(HANDLE file, const void* data, DWORD count, DWORD* written,
                           void* /*overlapped*/) {
    // Held here: the device's script may remove it.
    auto device = Enter(file, SerialCall::kWriteFile);
    if (device == nullptr) {
        return FALSE;
    }
    if (written == nullptr || (data == nullptr && count != 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const DWORD n = std::min(count, device->m_writeLimit);
    *written = n;
    if (n != 0) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        device->Accept(CSimSerialDevice::Bytes(bytes, bytes + n));
    }
    return TRUE;
}

BOOL CSimSerial::CloseHandle(HANDLE file) {
    auto it = m_handles.find(reinterpret_cast<std::uintptr_t>(file));
    if (it == m_handles.end()) {
        ++m_badHandles;
        return Fail(ERROR_INVALID_HANDLE);
    }
    HandleEntry& entry = it->second;
    if (!entry.open) {
        ++m_badHandles;
        return Fail(ERROR_INVALID_HANDLE);
    }
    entry.open = false;
    entry.device->m_calls.push_back(SerialCall::kCloseHandle);
    entry.device.reset();
    return TRUE;
}

void CSimSerial::Sleep(DWORD milliseconds) {
    m_clock.Advance(milliseconds);
}

}  // namespace Sim
}  // namespace Tolvane
