#include "platform/win32/win32_serial_api.h"

#include <windows.h>

namespace ZRK {

HANDLE CWin32SerialApi::CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, void* security,
                                    DWORD creation, DWORD flags, HANDLE templateFile) {
    return ::CreateFileA(path, access, shareMode, static_cast<LPSECURITY_ATTRIBUTES>(security),
                         creation, flags, templateFile);
}

BOOL CWin32SerialApi::GetCommState(HANDLE file, DCB* dcb) {
    return ::GetCommState(file, dcb);
}

BOOL CWin32SerialApi::SetCommState(HANDLE file, DCB* dcb) {
    return ::SetCommState(file, dcb);
}

BOOL CWin32SerialApi::GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    return ::GetCommTimeouts(file, timeouts);
}

BOOL CWin32SerialApi::SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    return ::SetCommTimeouts(file, timeouts);
}

BOOL CWin32SerialApi::SetCommMask(HANDLE file, DWORD mask) {
    return ::SetCommMask(file, mask);
}

BOOL CWin32SerialApi::PurgeComm(HANDLE file, DWORD flags) {
    return ::PurgeComm(file, flags);
}

BOOL CWin32SerialApi::ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) {
    return ::ClearCommError(file, errors, stat);
}

BOOL CWin32SerialApi::GetCommModemStatus(HANDLE file, DWORD* status) {
    return ::GetCommModemStatus(file, status);
}

BOOL CWin32SerialApi::ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read,
                               void* overlapped) {
    return ::ReadFile(file, buffer, count, read, static_cast<LPOVERLAPPED>(overlapped));
}

BOOL CWin32SerialApi::WriteFile(HANDLE file, const void* data, DWORD count, DWORD* written,
                                void* overlapped) {
    return ::WriteFile(file, data, count, written, static_cast<LPOVERLAPPED>(overlapped));
}

BOOL CWin32SerialApi::CloseHandle(HANDLE file) {
    return ::CloseHandle(file);
}

void CWin32SerialApi::Sleep(DWORD milliseconds) {
    ::Sleep(milliseconds);
}

DWORD CWin32SerialApi::GetLastError() {
    return ::GetLastError();
}

}  // namespace ZRK
