// The Windows serial calls that CSerialPort makes, over the tty port unit:
// "\\.\COMn" is <deviceDir>/ttyACMn. Only what CSerialPort asks for is
// there: one open mode, the line it sets, reads that return at once,
// writes with a time-out.
//
// - CreateFileA opens the port as CTtyPort::Open does (held for this
//   process alone, raw mode); the callers always ask for read-write,
//   exclusive, existing, synchronous, which is what it does whatever the
//   arguments. Anything but a COM path gives 2; a port another process
//   holds 5, as Windows refuses it; a node that is not a tty 50.
// - SetCommState takes BaudRate (any, through termios2), ByteSize 5 to 8,
//   Parity none, odd or even, StopBits 1 or 2, fParity (the input check),
//   and fDtrControl / fRtsControl DISABLE (drops the line) or ENABLE (raises
//   it). Other values give 87; mark or space parity, 1.5 stop bits, flow
//   control and the lines' handshakes, which no caller asks for, 50.
//   GetCommState reads the line back from the driver.
// - Time-outs: reads return at once (ReadIntervalTimeout 0xFFFFFFFF, both
//   read totals 0; any other read time-out gives 50). A write waits at most
//   WriteTotalTimeoutConstant + n × WriteTotalTimeoutMultiplier ms for room
//   and then returns TRUE with the bytes moved so far, as a Windows write
//   that times out does.
// - ClearCommError gives cbInQue, no error bits; PurgeComm empties both
//   queues (the callers always purge all four ways); SetCommMask changes
//   nothing (nothing waits for events); GetCommModemStatus maps CTS, DSR,
//   RING and DCD.
// - A port that has left the bus fails every call with 1167; CloseHandle
//   closes it as CTtyPort::Close does.
// - GetLastError: see WinErrorFromErrno; a handle this object did not hand
//   out (or already closed) gives 6, a null argument 87. The system's reason
//   for a call that failed in the system goes to the CSystemError given.
#pragma once

#include <string>

#include "platform/linux/tty_port.h"
#include "platform/linux/win_calls.h"
#include "platform/serial_api.h"

namespace Tolvane {
namespace Linux {

// "\\.\COM12" (or "COM12"; "COM" in any case) → 12. False for every other
// text, for numbers above 65535 and for anything after the digits.
bool ParseComPath(const char* path, unsigned* number);

class CLinuxSerialApi : public ZRK::CSerialApi {
public:
    explicit CLinuxSerialApi(CSystemError& reasons, std::string deviceDir = "/dev",
                             std::string procRoot = "/proc");

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
    void Sleep(DWORD milliseconds) override { SleepMilliseconds(milliseconds); }
    DWORD GetLastError() override { return m_lastError; }

private:
    struct Port {
        std::string node;
        CTtyPort tty;
        COMMTIMEOUTS timeouts;
        BYTE dtrControl;
        BYTE rtsControl;
    };

    // The port of file, or null with 6 (87 when the call's argument is not
    // given).
    Port* Lookup(HANDLE file, bool argumentGiven = true);
    BOOL Fail(DWORD code);
    // Records what the system said about the port; TRUE when it succeeded.
    BOOL Done(const Port& port, int error);

    CSystemError& m_reasons;
    std::string m_deviceDir;
    std::string m_procRoot;
    CHandleTable<Port> m_ports;
    DWORD m_lastError = ERROR_SUCCESS;
};

}  // namespace Linux
}  // namespace Tolvane
