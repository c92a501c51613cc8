// The portable request record checked at compile time against the system
// headers' SCSI_PASS_THROUGH_DIRECT, in every Windows build.
#include <windows.h>
// Must follow windows.h (which leaves out the device-control macros when
// built lean).
#include <ntddscsi.h>
#include <winioctl.h>

#include <cstddef>

#include "modes/pass_through.h"

namespace ZRK {

namespace {

using Spt = SCSI_PASS_THROUGH_DIRECT;

constexpr Tolvane::PassThroughLayout kSystemLayout{
    sizeof(void*),
    offsetof(Spt, Length),
    offsetof(Spt, ScsiStatus),
    offsetof(Spt, PathId),
    offsetof(Spt, TargetId),
    offsetof(Spt, Lun),
    offsetof(Spt, CdbLength),
    offsetof(Spt, SenseInfoLength),
    offsetof(Spt, DataIn),
    offsetof(Spt, DataTransferLength),
    offsetof(Spt, TimeOutValue),
    offsetof(Spt, DataBuffer),
    offsetof(Spt, SenseInfoOffset),
    offsetof(Spt, Cdb),
    sizeof(Spt),
    sizeof(Spt) + Tolvane::kSenseAreaSize,
};

// The drivers take the structure by its Length field, which is 44 on 32-bit
// Windows and 56 on 64-bit Windows; a header that disagrees would send the
// adapter a request the drive stack refuses.
#ifdef _WIN64
static_assert(sizeof(Spt) == 56, "64-bit SCSI_PASS_THROUGH_DIRECT is 56 bytes");
static_assert(kSystemLayout.recordSize == 88, "64-bit request record is 88 bytes");
#else
static_assert(sizeof(Spt) == 44, "32-bit SCSI_PASS_THROUGH_DIRECT is 44 bytes");
static_assert(kSystemLayout.recordSize == 76, "32-bit request record is 76 bytes");
#endif
static_assert(sizeof(static_cast<Spt*>(nullptr)->Cdb) == Tolvane::kCdbSize,
              "the CDB field holds the 16-byte return command");

constexpr bool SameLayout(const Tolvane::PassThroughLayout& a,
                          const Tolvane::PassThroughLayout& b) {
    return a.pointerWidth == b.pointerWidth && a.offLength == b.offLength &&
           a.offScsiStatus == b.offScsiStatus && a.offPathId == b.offPathId &&
           a.offTargetId == b.offTargetId && a.offLun == b.offLun &&
           a.offCdbLength == b.offCdbLength && a.offSenseInfoLength == b.offSenseInfoLength &&
           a.offDataIn == b.offDataIn && a.offDataTransferLength == b.offDataTransferLength &&
           a.offTimeOutValue == b.offTimeOutValue && a.offDataBuffer == b.offDataBuffer &&
           a.offSenseInfoOffset == b.offSenseInfoOffset && a.offCdb == b.offCdb &&
           a.structSize == b.structSize && a.recordSize == b.recordSize;
}

// The portable serialiser must lay the record out exactly as this build's
// system headers do, in the shipped 32-bit program as in the 64-bit tests.
static_assert(SameLayout(Tolvane::PassThroughLayout::Native(), kSystemLayout),
              "the portable request record differs from SCSI_PASS_THROUGH_DIRECT");

}  // namespace

}  // namespace ZRK
