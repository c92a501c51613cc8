// The registry calls of the real Windows, unchanged.
#pragma once

#include "platform/registry_api.h"

namespace ZRK {

class CWin32RegistryApi final : public CRegistryApi {
public:
    LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access,
                       HKEY* result) override;
    LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                         REGSAM access, void* security, HKEY* result, DWORD* disposition) override;
    LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                          DWORD* dataSize) override;
    LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize, DWORD* reserved,
                       LPSTR className, DWORD* classSize, FILETIME* lastWrite) override;
    LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize, DWORD* reserved,
                       DWORD* type, BYTE* data, DWORD* dataSize) override;
    LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                        DWORD dataSize) override;
    LONG RegDeleteValueA(HKEY key, LPCSTR valueName) override;
    LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) override;
    LONG RegFlushKey(HKEY key) override;
    LONG RegCloseKey(HKEY key) override;
    DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) override;
    void SetLastError(DWORD code) override;
    DWORD GetLastError() override;
};

}  // namespace ZRK
