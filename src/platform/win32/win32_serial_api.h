// The serial-communication and file calls of the real Windows, unchanged.
#pragma once

#include "platform/serial_api.h"

namespace ZRK {

class CWin32SerialApi final : public CSerialApi {
public:
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
    DWORD GetLastError() override;
};

}  // namespace ZRK
