// The raw-disk calls of the return to the normal state: open a physical drive
// by path, hand it one SCSI pass-through request, close it.
#pragma once

#include "platform/win_types.h"

namespace ZRK {

// IOCTL_SCSI_PASS_THROUGH_DIRECT: device type 4, function 0x405,
// METHOD_BUFFERED, read and write access.
constexpr DWORD kIoctlScsiPassThroughDirect = 0x4D014;

class CRawDiskApi {
public:
    virtual ~CRawDiskApi() = default;

    virtual HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, void* security,
                               DWORD creation, DWORD flags, HANDLE templateFile) = 0;
    // The overlapped argument is always null: the call is synchronous.
    virtual BOOL DeviceIoControl(HANDLE device, DWORD code, void* inBuffer, DWORD inSize,
                                 void* outBuffer, DWORD outSize, DWORD* returned,
                                 void* overlapped) = 0;
    virtual BOOL CloseHandle(HANDLE device) = 0;
};

}  // namespace ZRK
