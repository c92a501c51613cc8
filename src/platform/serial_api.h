// The Windows serial-communication and file calls that the serial port makes,
// as one interface: the Win32 build passes them through, the Linux build maps
// them onto termios, and the virtual PC answers them from its virtual devices.
#pragma once

#include "platform/win_types.h"

namespace ZRK {

class CSerialApi {
public:
    virtual ~CSerialApi() = default;

    virtual HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, void* security,
                               DWORD creation, DWORD flags, HANDLE templateFile) = 0;
    virtual BOOL GetCommState(HANDLE file, DCB* dcb) = 0;
    virtual BOOL SetCommState(HANDLE file, DCB* dcb) = 0;
    virtual BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) = 0;
    virtual BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) = 0;
    virtual BOOL SetCommMask(HANDLE file, DWORD mask) = 0;
    virtual BOOL PurgeComm(HANDLE file, DWORD flags) = 0;
    virtual BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) = 0;
    virtual BOOL GetCommModemStatus(HANDLE file, DWORD* status) = 0;
    // The overlapped argument is always null: all port I/O is synchronous.
    virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read,
                          void* overlapped) = 0;
    virtual BOOL WriteFile(HANDLE file, const void* data, DWORD count, DWORD* written,
                           void* overlapped) = 0;
    virtual BOOL CloseHandle(HANDLE file) = 0;
    virtual void Sleep(DWORD milliseconds) = 0;
    virtual DWORD GetLastError() = 0;
};

}  // namespace ZRK
