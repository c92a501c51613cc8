// The Windows registry calls that the registry accessor makes, as one
// interface: passed through on Windows, answered by an in-memory registry on
// the virtual PC and in tests.
#pragma once

#include "platform/win_types.h"

namespace ZRK {

class CRegistryApi {
public:
    virtual ~CRegistryApi() = default;

    virtual LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access,
                               HKEY* result) = 0;
    virtual LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className,
                                 DWORD options, REGSAM access, void* security, HKEY* result,
                                 DWORD* disposition) = 0;
    virtual LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type,
                                  BYTE* data, DWORD* dataSize) = 0;
    virtual LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize, DWORD* reserved,
                               LPSTR className, DWORD* classSize, FILETIME* lastWrite) = 0;
    virtual LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize, DWORD* reserved,
                               DWORD* type, BYTE* data, DWORD* dataSize) = 0;
    virtual LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                                const BYTE* data, DWORD dataSize) = 0;
    virtual LONG RegDeleteValueA(HKEY key, LPCSTR valueName) = 0;
    virtual LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) = 0;
    virtual LONG RegFlushKey(HKEY key) = 0;
    virtual LONG RegCloseKey(HKEY key) = 0;
    virtual DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) = 0;
    virtual void SetLastError(DWORD code) = 0;
    virtual DWORD GetLastError() = 0;
};

}  // namespace ZRK
