// Virtual COM devices for the virtual PC and the tests. Each device is
// reached by its path ("\\.\COM3"), answers what it receives through a
// script, remembers what it was given and can be told to misbehave: refuse
// to open, take fewer bytes than offered, fail single calls, or vanish from
// the bus while a handle to it is still open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/serial_api.h"
#include "platform/sim/virtual_clock.h"
#include "platform/win_types.h"

namespace Tolvane {
namespace Sim {

// The calls of the serial interface, to name one in a fault or a call log.
enum class SerialCall {
    kCreateFile,
    kGetCommState,
    kSetCommState,
    kGetCommTimeouts,
    kSetCommTimeouts,
    kSetCommMask,
    kPurgeComm,
    kClearCommError,
    kGetCommModemStatus,
    kReadFile,
    kWriteFile,
    kCloseHandle,
};

class CSimSerialDevice {
public:
    using Bytes = std::vector<std::uint8_t>;

    // No limit on the bytes one write may move.
    static constexpr DWORD kUnlimited = 0xFFFFFFFFu;
    // What the driver answers on a handle whose device has left the bus.
    static constexpr DWORD kVanishedError = ERROR_BAD_COMMAND;

    explicit CSimSerialDevice(std::string path);
    CSimSerialDevice(const CSimSerialDevice&) = delete;
    CSimSerialDevice& operator=(const CSimSerialDevice&) = delete;

    const std::string& Path() const { return m_path; }

    // The device's script: called once per write with the bytes the device
    // accepted from it (never with an empty block). It may queue replies,
    // schedule events on the clock or make the device vanish.
    std::function<void(const Bytes&)> onReceive;

    // Bytes that the PC can read from now on, after the ones still waiting.
    void QueueReply(const Bytes& bytes);

    // Everything the device accepted, in order, across all handles.
    const Bytes& Received() const { return m_received; }

    // Absent: new opens fail with ERROR_FILE_NOT_FOUND and handles opened
    // before fail every call but CloseHandle with kVanishedError, even after
    // the device comes back (it comes back as a new device; waiting replies
    // are dropped).
    void SetPresent(bool present);
    bool IsPresent() const { return m_present; }

    // Faults. An error of 0 lifts the fault. kCreateFile makes every open
    // fail with that error; CloseHandle cannot be made to fail.
    void FailCall(SerialCall call, DWORD error);
    DWORD FaultOf(SerialCall call) const;
    // At most maxBytes per WriteFile are taken (0: the device accepts none).
    void SetWriteLimit(DWORD maxBytes) { m_writeLimit = maxBytes; }
    void ClearFaults();

    // Line state that the driver reports and that the port applied.
    const DCB& Dcb() const { return m_dcb; }
    void SetDcb(const DCB& dcb) { m_dcb = dcb; }
    const COMMTIMEOUTS& Timeouts() const { return m_timeouts; }
    void SetTimeouts(const COMMTIMEOUTS& timeouts) { m_timeouts = timeouts; }
    void SetModemStatus(DWORD status) { m_modemStatus = status; }
    DWORD EventMask() const { return m_eventMask; }

    // Every DCB accepted by SetCommState, in order.
    const std::vector<DCB>& StatesSet() const { return m_statesSet; }
    // Every call made on this device's handles (and every open attempt),
    // whether it succeeded or not.
    const std::vector<SerialCall>& CallLog() const { return m_calls; }
    std::size_t CallCount(SerialCall call) const;
    // The arguments of the last CreateFileA on this path.
    struct OpenArgs {
        DWORD access = 0;
        DWORD shareMode = 0;
        DWORD creation = 0;
        DWORD flags = 0;
    };
    const OpenArgs& LastOpenArgs() const { return m_openArgs; }
    // Successful opens so far.
    std::size_t OpenCount() const { return m_openCount; }

private:
    friend class CSimSerial;

    void Accept(const Bytes& block);

    std::string m_path;
    bool m_present = true;
    std::uint64_t m_generation = 0;
    Bytes m_replies;
    Bytes m_received;
    std::map<SerialCall, DWORD> m_faults;
    DWORD m_writeLimit = kUnlimited;
    DCB m_dcb{};
    COMMTIMEOUTS m_timeouts{};
    DWORD m_modemStatus = MS_CTS_ON | MS_DSR_ON;
    DWORD m_eventMask = 0;
    std::vector<DCB> m_statesSet;
    std::vector<SerialCall> m_calls;
    OpenArgs m_openArgs;
    std::size_t m_openCount = 0;
};

class CSimSerial : public ZRK::CSerialApi {
public:
    // Sleep moves this clock; nothing waits for real.
    explicit CSimSerial(CVirtualClock& clock);
    CSimSerial(const CSimSerial&) = delete;
    CSimSerial& operator=(const CSimSerial&) = delete;

    CVirtualClock& Clock() { return m_clock; }

    // Paths compare without regard to ASCII case, as Windows device names
    // do. Adding an existing path returns the device already there.
    CSimSerialDevice& AddDevice(const std::string& path);
    CSimSerialDevice* FindDevice(const std::string& path);

    // Handle accounting over all devices.
    std::size_t OpenHandleCount() const;
    // Calls (CloseHandle included) with a handle this object never gave out,
    // or one already closed.
    std::size_t BadHandleCount() const { return m_badHandles; }

    HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, void* security, DWORD creation,
                       DWORD flags, HANDLE templateFile) override;
    BOOL GetCommState(HANDLE file, DCB* dcb) override;
    BOOL SetCommState(HANDLE file, DCB* dcb) override;
    BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) override;
    BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) override;
    BOOL SetCommMask(HANDLE file, DWORD mask) override;
    BOOL PurgeComm(HANDLE file, DWORD flags) override;
    BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) override;
    BOOL GetCommModemStatus(HANDLE file, DWORD* status) override;
    BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, void* overlapped) override;
    BOOL WriteFile(HANDLE file, const void* data, DWORD count, DWORD* written,
                   void* overlapped) override;
    BOOL CloseHandle(HANDLE file) override;
    void Sleep(DWORD milliseconds) override;
    DWORD GetLastError() override { return m_lastError; }

private:
    struct HandleEntry {
        std::shared_ptr<CSimSerialDevice> device;  // null once closed
        std::uint64_t generation = 0;
        bool open = true;
    };

    static std::string Key(const std::string& path);
    BOOL Fail(DWORD error);
    // The device behind an open, live handle, after logging the call and
    // applying its fault; null (with the last error set) otherwise.
    std::shared_ptr<CSimSerialDevice> Enter(HANDLE file, SerialCall call);

    CVirtualClock& m_clock;
    std::map<std::string, std::shared_ptr<CSimSerialDevice>> m_devices;
    std::map<std::uintptr_t, HandleEntry> m_handles;
    std::uintptr_t m_nextHandle = 0x100;
    DWORD m_lastError = 0;
    std::size_t m_badHandles = 0;
};

}  // namespace Sim
}  // namespace Tolvane
