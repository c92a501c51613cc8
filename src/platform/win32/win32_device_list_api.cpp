#include "platform/win32/win32_device_list_api.h"

#include <windows.h>
// Must follow windows.h.
#include <setupapi.h>

namespace ZRK {

// The finder hands SetupDiEnumDeviceInfo a record whose cbSize is 28 in the
// 32-bit program; the call refuses any other size.
#ifndef _WIN64
static_assert(sizeof(SP_DEVINFO_DATA) == 28, "32-bit SP_DEVINFO_DATA is 28 bytes");
#endif

HDEVINFO CWin32DeviceListApi::SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator,
                                                   HWND parent, DWORD flags) {
    return ::SetupDiGetClassDevsA(classGuid, enumerator, parent, flags);
}

BOOL CWin32DeviceListApi::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
    return ::SetupDiEnumDeviceInfo(set, index, data);
}

BOOL CWin32DeviceListApi::SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                            DWORD property, DWORD* regType,
                                                            BYTE* buffer, DWORD bufferSize,
                                                            DWORD* requiredSize) {
    return ::SetupDiGetDeviceRegistryPropertyA(set, data, property, regType, buffer, bufferSize,
                                               requiredSize);
}

BOOL CWin32DeviceListApi::SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    return ::SetupDiDestroyDeviceInfoList(set);
}

}  // namespace ZRK
