// The SetupAPI calls that list the present devices and read their
// properties, as one interface (Windows pass-through, virtual PC, tests).
#pragma once

#include "platform/win_types.h"

namespace ZRK {

class CDeviceListApi {
public:
    virtual ~CDeviceListApi() = default;

    virtual HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND parent,
                                          DWORD flags) = 0;
    virtual BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) = 0;
    virtual BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                   DWORD property, DWORD* regType, BYTE* buffer,
                                                   DWORD bufferSize, DWORD* requiredSize) = 0;
    virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) = 0;
};

}  // namespace ZRK
