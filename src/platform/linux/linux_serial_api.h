// The Windows serial calls on Linux: "\\.\COMn" is /dev/ttyACMn, driven
// through termios.
//
// What the port does and what it maps to:
// - CreateFileA opens <deviceDir>/ttyACMn with O_RDWR|O_NOCTTY|O_NONBLOCK|
//   O_CLOEXEC and puts the line into raw mode at once (CLOCAL|CREAD, no
//   echo, no translation, VMIN = VTIME = 0), so a read returns at once with
//   whatever has arrived. Share mode 0 asks the tty for exclusive use
//   (TIOCEXCL), so that later opens by others fail. A port is never shared,
//   as on Windows: when another process has the tty open already (see
//   OtherProcessHolds) or holds it exclusively (EBUSY; for root, who passes
//   that flag, TIOCGEXCL), the open fails with ERROR_ACCESS_DENIED (5)
//   before the line is touched. Anything but a COM path gives 2; a node
//   that is not a tty gives 50.
// - SetCommState maps ByteSize (5..8), Parity (none, odd, even, mark,
//   space), StopBits (1; 1.5 only with 5 data bits; 2 only with 6..8), fParity
//   (input parity check), CTS/RTS handshake (both directions or neither),
//   XON/XOFF, and DTR/RTS: DISABLE drops the line, ENABLE raises it.
//   DTR handshake, RTS toggle and DSR flow control have no Linux equivalent
//   and give 50. A standard rate is set directly; any other rate is set
//   through termios2 (BOTHER) after a standard placeholder speed (the
//   largest standard rate below it, never B0, which would drop DTR). A
//   driver that refuses the arbitrary rate does not fail the call: the
//   placeholder stays in force, GetCommState shows it, and RefusedBaudRate
//   tells which rate was refused and why.
// - GetCommState reads the settings back from the driver, the rate through
//   termios2.
// - Reads follow the time-out record "return at once" (ReadIntervalTimeout
//   0xFFFFFFFF, both read totals 0), the only read mode offered; other read
//   time-outs give 50. A write waits at most WriteTotalTimeoutConstant +
//   n × WriteTotalTimeoutMultiplier ms and then returns TRUE with the bytes
//   moved so far, as a Windows write that times out does. With both write
//   values 0 (no time-out on Windows) a write still ends after 60 s.
// - ClearCommError: cbInQue from FIONREAD, cbOutQue from TIOCOUTQ, no error
//   bits. PurgeComm: tcflush of the selected queues. SetCommMask is stored
//   only (nothing waits for events). GetCommModemStatus: TIOCMGET.
// - The port has left the bus when TIOCMGET, read, write, FIONREAD or
//   tcflush fail with EIO, ENODEV or ENXIO, or when poll reports a hang-up
//   or an error (a USB tty is hung up when its device goes; a read then
//   gives end-of-file, which is told apart from "nothing arrived" this
//   way). Every call on such a port fails with ERROR_DEVICE_NOT_CONNECTED
//   (1167). ENOTTY from TIOCMGET means the tty has no modem lines (a
//   pseudo-terminal): the port is present, with a status of 0.
// - CloseHandle drops DTR and RTS (TIOCMBIC) when the last SetCommState
//   asked for them disabled, clears the exclusive flag that the open set
//   (and no other), then closes.
// - GetLastError: see WinErrorFromErrno; a handle this object did not hand
//   out (or already closed) gives 6, a null or unsupported argument 87.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/linux/linux_support.h"
#include "platform/serial_api.h"

namespace Tolvane {
namespace Linux {

// "\\.\COM12" (or "COM12"; "COM" in any case) → 12. False for every other
// text, for numbers above 65535 and for anything after the digits.
bool ParseComPath(const char* path, unsigned* number);

// Whether a process other than this one has the character device `device`
// open, found as fuser finds it: the links in <procRoot>/<pid>/fd, followed
// and compared by device number. This process is the one <procRoot>/self
// names, which is not getpid() in a PID namespace that sees its parent's
// /proc. A process whose descriptors cannot be read
// (another user's, to a process without the rights; one that ends while we
// look) is skipped, and so is a link that cannot be followed. A file on a
// network or FUSE mount is not asked of its server (AT_STATX_DONT_SYNC), so
// a hung mount does not stall the check.
bool OtherProcessHolds(const std::string& procRoot, dev_t device);

class CLinuxSerialApi : public ZRK::CSerialApi {
public:
    explicit CLinuxSerialApi(std::string deviceDir = "/dev", std::string procRoot = "/proc");
    ~CLinuxSerialApi() override;
    CLinuxSerialApi(const CLinuxSerialApi&) = delete;
    CLinuxSerialApi& operator=(const CLinuxSerialApi&) = delete;

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

    // The rate the driver refused at the last SetCommState on this port, 0
    // when it took the rate asked for (or the handle is unknown); the errno
    // of the refusal goes to *error when error is not null.
    DWORD RefusedBaudRate(HANDLE file, int* error = nullptr);

    // What a write with both write time-outs 0 waits at most.
    static constexpr DWORD kUnboundedWriteLimitMs = 60000;

protected:
    // Sets a rate that has no standard code; 0 or the errno of the refusal.
    // The serial calls' own version goes through termios2.
    virtual int OnSetArbitraryBaudRate(int fd, unsigned rate);

private:
    struct Port {
        int fd;
        bool exclusive;
        BYTE dtrControl;
        BYTE rtsControl;
        COMMTIMEOUTS timeouts;
        DWORD eventMask;
        DWORD refusedBaud;
        int refusedErrno;
    };

    Port* Lookup(HANDLE file);
    BOOL Fail(DWORD code);
    BOOL FailErrno(int error);
    void ReleasePort(const Port& port);

    std::string m_deviceDir;
    std::string m_procRoot;
    CHandleTable<Port> m_ports;
    DWORD m_lastError = ERROR_SUCCESS;
};

}  // namespace Linux
}  // namespace Tolvane
