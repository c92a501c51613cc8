// Raw physical-drive access of the real Windows, unchanged.
#pragma once

#include "platform/raw_disk_api.h"

namespace ZRK {

class CWin32RawDiskApi final : public CRawDiskApi {
public:
    HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, void* security, DWORD creation,
                       DWORD flags, HANDLE templateFile) override;
    BOOL DeviceIoControl(HANDLE device, DWORD code, void* inBuffer, DWORD inSize, void* outBuffer,
                         DWORD outSize, DWORD* returned, void* overlapped) override;
    BOOL CloseHandle(HANDLE device) override;
};

}  // namespace ZRK
