// The request record of the return command: a SCSI_PASS_THROUGH_DIRECT
// structure followed by a 32-byte sense area, laid out byte for byte for a
// given pointer width. The structure's size depends on that width (the data
// pointer is 4 or 8 bytes and 8-byte aligned on 64-bit builds), so the record
// is serialised rather than declared: the same code serves the 32-bit program,
// the 64-bit test build, and the hosts that take the request apart again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tolvane {

constexpr std::size_t kSenseAreaSize = 32;
constexpr std::size_t kCdbSize = 16;
constexpr std::uint8_t kScsiIoctlDataOut = 0;
constexpr std::uint8_t kScsiIoctlDataIn = 1;
constexpr std::uint8_t kScsiIoctlDataUnspecified = 2;
constexpr std::uint32_t kReturnCommandTimeoutSeconds = 60;
constexpr std::uint8_t kReturnCommandTargetId = 1;
constexpr std::uint8_t kReturnCommandOpcode = 0xFF;

struct PassThroughLayout {
    std::size_t pointerWidth;  // 4 or 8
    std::size_t offLength;
    std::size_t offScsiStatus;
    std::size_t offPathId;
    std::size_t offTargetId;
    std::size_t offLun;
    std::size_t offCdbLength;
    std::size_t offSenseInfoLength;
    std::size_t offDataIn;
    std::size_t offDataTransferLength;
    std::size_t offTimeOutValue;
    std::size_t offDataBuffer;
    std::size_t offSenseInfoOffset;
    std::size_t offCdb;
    std::size_t structSize;  // sizeof(SCSI_PASS_THROUGH_DIRECT)
    std::size_t recordSize;  // structure + sense area

    static constexpr PassThroughLayout For(std::size_t pointerWidth);
    static constexpr PassThroughLayout Native() { return For(sizeof(void*)); }
};

constexpr PassThroughLayout PassThroughLayout::For(std::size_t pointerWidth) {
    PassThroughLayout l{};
    l.pointerWidth = pointerWidth == 8 ? 8 : 4;
    l.offLength = 0;
    l.offScsiStatus = 2;
    l.offPathId = 3;
    l.offTargetId = 4;
    l.offLun = 5;
    l.offCdbLength = 6;
    l.offSenseInfoLength = 7;
    l.offDataIn = 8;
    l.offDataTransferLength = 12;
    l.offTimeOutValue = 16;
    // The data pointer is aligned to its own width, the ULONG after it to 4,
    // and the whole structure to the pointer's alignment.
    const std::size_t w = l.pointerWidth;
    l.offDataBuffer = (20 + w - 1) / w * w;
    l.offSenseInfoOffset = l.offDataBuffer + w;
    l.offCdb = l.offSenseInfoOffset + 4;
    const std::size_t end = l.offCdb + kCdbSize;
    l.structSize = (end + w - 1) / w * w;
    l.recordSize = l.structSize + kSenseAreaSize;
    return l;
}

// The cleared record with the return command's fields set: length, target 1,
// CDB FF 00 .. 00 of 16 bytes, 32 bytes of sense right behind the structure,
// no data phase, 60 seconds, null data pointer.
std::vector<std::uint8_t> BuildReturnCommandRecord(const PassThroughLayout& layout);

// What a host (or the virtual drive) reads back out of such a record; the
// fields are checked against the record's size, so a short or garbled record
// is refused instead of overread.
struct PassThroughRequest {
    std::uint16_t length;
    std::uint8_t pathId;
    std::uint8_t targetId;
    std::uint8_t lun;
    std::uint8_t cdbLength;
    std::uint8_t senseInfoLength;
    std::uint8_t dataIn;
    std::uint32_t dataTransferLength;
    std::uint32_t timeOutValue;
    std::uint64_t dataBuffer;
    std::uint32_t senseInfoOffset;
    std::uint8_t cdb[kCdbSize];
};

bool ParsePassThroughRecord(const PassThroughLayout& layout, const void* record, std::size_t size,
                            PassThroughRequest* out);

}  // namespace Tolvane
