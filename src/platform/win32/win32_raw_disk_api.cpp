#include "platform/win32/win32_raw_disk_api.h"

#include <windows.h>
// Must follow windows.h (which leaves out the device-control macros when
// built lean).
#include <ntddscsi.h>
#include <winioctl.h>

namespace ZRK {

static_assert(kIoctlScsiPassThroughDirect == IOCTL_SCSI_PASS_THROUGH_DIRECT,
              "the portable control code must be the system's");

HANDLE CWin32RawDiskApi::CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, void* security,
                                     DWORD creation, DWORD flags, HANDLE templateFile) {
    return ::CreateFileA(path, access, shareMode, static_cast<LPSECURITY_ATTRIBUTES>(security),
                         creation, flags, templateFile);
}

BOOL CWin32RawDiskApi::DeviceIoControl(HANDLE device, DWORD code, void* inBuffer, DWORD inSize,
                                       void* outBuffer, DWORD outSize, DWORD* returned,
                                       void* overlapped) {
    return ::DeviceIoControl(device, code, inBuffer, inSize, outBuffer, outSize, returned,
                             static_cast<LPOVERLAPPED>(overlapped));
}

BOOL CWin32RawDiskApi::CloseHandle(HANDLE device) {
    return ::CloseHandle(device);
}

}  // namespace ZRK
