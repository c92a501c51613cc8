// The raw-disk calls on Linux: "\\.\PhysicalDriveN" is the N-th SCSI disk
// attached through USB, reached through its SCSI generic node, and the
// pass-through request goes to it through SG_IO.
//
// Only USB disks are numbered: the adapter in its mass-storage state is
// always one, and a vendor-specific command has no business reaching
// internal SATA, NVMe or virtual disks. The list is read afresh at each
// CreateFileA: the SCSI devices under <sysfsRoot>/bus/scsi/devices named
// host:channel:target:lun, of peripheral type 0 (disk), whose sysfs device
// path runs through a USB device (an ancestor directory whose "subsystem"
// link names usb), in ascending host:channel:target:lun order. A disk
// without a generic node scsi_generic/sgN (the sg driver not loaded) cannot
// be reached and is not numbered, though it is still listed.
//
// Only requests without a data phase are passed on: the tool never moves
// data to or from a disk, so a record that names a transfer is refused
// rather than trusted with a pointer. The record's PathId, TargetId and Lun
// are not used: the generic node already is one logical unit, as a
// physical drive handle is on Windows.
#pragma once

#include <scsi/sg.h>

#include <cstdint>
#include <string>
#include <vector>

#include "modes/pass_through.h"
#include "platform/linux/linux_support.h"
#include "platform/raw_disk_api.h"

namespace Tolvane {
namespace Linux {

struct ScsiAddress {
    unsigned long host;
    unsigned long channel;
    unsigned long target;
    unsigned long lun;
};

struct UsbScsiDisk {
    ScsiAddress address;
    std::string genericNode;  // "sg2"; empty when the disk has none
    std::string blockNode;    // "sdb" (block/<name>); empty when no disk driver took it
    // The SCSI device's vendor and model attributes, trimmed; empty when
    // unreadable.
    std::string vendor;
    std::string model;
    // From block/<name>/size (512-byte sectors) and block/<name>/ro; 0 and
    // false without a block node or readable attribute.
    std::uint64_t sizeBytes = 0;
    bool readOnly = false;
};

// Every USB disk as described above, with or without a generic node.
std::vector<UsbScsiDisk> ListUsbScsiDisks(const std::string& sysfsRoot);

// "\\.\PhysicalDrive7" (or "PhysicalDrive7", any case) → 7; false for every
// other text, numbers above 99999 included.
bool ParsePhysicalDrivePath(const char* path, unsigned* number);

// A record the Linux side will send: no data to move (no length, no
// buffer) and a direction Windows knows (0, 1 or 2).
bool IsNoDataRequest(const PassThroughRequest& request);

// The SG_IO request for a parsed record, without sending it: interface 'S',
// no data transfer, the record's CDB (cdbLength bytes, copied into cdb,
// which holds kCdbSize) and a sense buffer of senseInfoLength bytes at
// sense, time-out TimeOutValue seconds in milliseconds (saturated at the
// largest value the field holds).
sg_io_hdr_t BuildSgIoRequest(const PassThroughRequest& request, std::uint8_t* cdb,
                             std::uint8_t* sense);

// Stores the outcome of a sent request in the caller's output record, as
// the Windows call does: ScsiStatus, SenseInfoLength = sense bytes
// returned, the sense bytes at SenseInfoOffset, DataTransferLength = 0, and
// *returned = the bytes of the record that carry results. The output record
// has been checked to hold the structure and the sense area. Returns 0 when
// the command reached the device and completed (whatever its SCSI status),
// ERROR_SEM_TIMEOUT when it timed out, ERROR_DEVICE_NOT_CONNECTED when the
// device could not be reached, ERROR_IO_DEVICE for other transport faults.
DWORD StoreSgIoResult(const sg_io_hdr_t& result, const PassThroughLayout& layout,
                      const PassThroughRequest& request, const std::uint8_t* sense, void* outBuffer,
                      DWORD* returned);

class CLinuxRawDiskApi : public ZRK::CRawDiskApi {
public:
    explicit CLinuxRawDiskApi(std::string sysfsRoot = "/sys", std::string deviceDir = "/dev");
    ~CLinuxRawDiskApi() override;
    CLinuxRawDiskApi(const CLinuxRawDiskApi&) = delete;
    CLinuxRawDiskApi& operator=(const CLinuxRawDiskApi&) = delete;

    // Opens <deviceDir>/sgN of drive N read-write and non-blocking. A path
    // or number that names no listed disk gives 2, a node that cannot be
    // opened the code of its errno.
    HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, void* security, DWORD creation,
                       DWORD flags, HANDLE templateFile) override;
    // Code 0x4D014 with a record parsed for this build's pointer width:
    // SG_IO, results stored back into outBuffer. FALSE with 1 for any other
    // code, 87 for a garbled record, a data phase, an output record too
    // small for the structure and its sense area, or an overlapped call.
    BOOL DeviceIoControl(HANDLE device, DWORD code, void* inBuffer, DWORD inSize, void* outBuffer,
                         DWORD outSize, DWORD* returned, void* overlapped) override;
    BOOL CloseHandle(HANDLE device) override;

    // The Windows code of the last failed call (the interface has no
    // GetLastError; the callers ignore results, diagnostics need them).
    DWORD LastError() const { return m_lastError; }

private:
    BOOL Fail(DWORD code);

    std::string m_sysfsRoot;
    std::string m_deviceDir;
    CHandleTable<int> m_drives;
    DWORD m_lastError = ERROR_SUCCESS;
};

}  // namespace Linux
}  // namespace Tolvane
