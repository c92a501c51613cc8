// The raw-disk calls of the return, over the SG device unit:
// "\\.\PhysicalDriveN" is the USB disk with drive number N
// (CSysfs::ListUsbDisks, read afresh at each CreateFileA), reached through
// its SCSI generic node.
//
// Only the request ReturnToNormal makes passes: IOCTL_SCSI_PASS_THROUGH_DIRECT
// with a record parsed for this build's pointer width that names no data
// phase (no length, no buffer, a direction Windows knows: the tool never
// moves data to or from a disk, so a record that names a transfer is refused
// rather than trusted with a pointer), an output record that holds the
// structure and its sense area, and the return command's opcode (see
// CSgDevice). The record's PathId, TargetId and Lun are not used: the
// generic node already is one logical unit, as a physical drive handle is
// on Windows.
//
// The callers look at no result of these calls beyond success, so there is
// no Windows error code: a call fails with FALSE (INVALID_HANDLE_VALUE), and
// when it got as far as the system, the system's reason goes to the
// CSystemError given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "modes/pass_through.h"
#include "platform/linux/sg_device.h"
#include "platform/linux/sysfs.h"
#include "platform/linux/win_calls.h"
#include "platform/raw_disk_api.h"

namespace Tolvane {
namespace Linux {

// "\\.\PhysicalDrive7" (or "PhysicalDrive7", any case) → 7; false for every
// other text, numbers above 99999 included.
bool ParsePhysicalDrivePath(const char* path, unsigned* number);

// Stores a completed command's outcome in the caller's output record, as the
// Windows call does: ScsiStatus, SenseInfoLength = sense bytes returned, the
// sense bytes at SenseInfoOffset, DataTransferLength = 0, and *returned =
// the bytes of the record that carry results. The output record has been
// checked to hold the structure and the sense area.
void StorePassThroughReply(const PassThroughLayout& layout, const PassThroughRequest& request,
                           std::uint8_t status, const std::uint8_t* sense, std::size_t senseLength,
                           void* outBuffer, DWORD* returned);

class CLinuxRawDiskApi : public ZRK::CRawDiskApi {
public:
    CLinuxRawDiskApi(CSystemError& reasons, CSysfs sysfs);

    HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, void* security, DWORD creation,
                       DWORD flags, HANDLE templateFile) override;
    BOOL DeviceIoControl(HANDLE device, DWORD code, void* inBuffer, DWORD inSize, void* outBuffer,
                         DWORD outSize, DWORD* returned, void* overlapped) override;
    BOOL CloseHandle(HANDLE device) override;

private:
    struct Drive {
        std::string node;
        CSgDevice sg;
    };

    CSystemError& m_reasons;
    CSysfs m_sysfs;
    CHandleTable<Drive> m_drives;
};

}  // namespace Linux
}  // namespace Tolvane
