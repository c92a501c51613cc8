#include "platform/win32/win32_registry_api.h"

#include <windows.h>

namespace ZRK {

LONG CWin32RegistryApi::RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access,
                                      HKEY* result) {
    return ::RegOpenKeyExA(key, subKey, options, access, result);
}

LONG CWin32RegistryApi::RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className,
                                        DWORD options, REGSAM access, void* security, HKEY* result,
                                        DWORD* disposition) {
    return ::RegCreateKeyExA(key, subKey, reserved, className, options, access,
                             static_cast<LPSECURITY_ATTRIBUTES>(security), result, disposition);
}

LONG CWin32RegistryApi::RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type,
                                         BYTE* data, DWORD* dataSize) {
    return ::RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG CWin32RegistryApi::RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize,
                                      DWORD* reserved, LPSTR className, DWORD* classSize,
                                      FILETIME* lastWrite) {
    return ::RegEnumKeyExA(key, index, name, nameSize, reserved, className, classSize, lastWrite);
}

LONG CWin32RegistryApi::RegEnumValueA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize,
                                      DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize) {
    return ::RegEnumValueA(key, index, name, nameSize, reserved, type, data, dataSize);
}

LONG CWin32RegistryApi::RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                                       const BYTE* data, DWORD dataSize) {
    return ::RegSetValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG CWin32RegistryApi::RegDeleteValueA(HKEY key, LPCSTR valueName) {
    return ::RegDeleteValueA(key, valueName);
}

LONG CWin32RegistryApi::RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    return ::RegDeleteKeyA(key, subKey);
}

LONG CWin32RegistryApi::RegFlushKey(HKEY key) {
    return ::RegFlushKey(key);
}

LONG CWin32RegistryApi::RegCloseKey(HKEY key) {
    return ::RegCloseKey(key);
}

DWORD CWin32RegistryApi::ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) {
    return ::ExpandEnvironmentStringsA(source, destination, size);
}

void CWin32RegistryApi::SetLastError(DWORD code) {
    ::SetLastError(code);
}

DWORD CWin32RegistryApi::GetLastError() {
    return ::GetLastError();
}

}  // namespace ZRK
