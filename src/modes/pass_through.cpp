#include "modes/pass_through.h"

#include <cstring>

namespace Tolvane {

namespace {

void Put16(std::vector<std::uint8_t>& b, std::size_t off, std::uint16_t v) {
    b[off] = static_cast<std::uint8_t>(v);
    b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::vector<std::uint8_t>& b, std::size_t off, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

std::uint64_t GetLE(const std::uint8_t* p, std::size_t width) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i) {
        v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    }
    return v;
}

}  // namespace

std::vector<std::uint8_t> BuildReturnCommandRecord(const PassThroughLayout& layout) {
    std::vector<std::uint8_t> record(layout.recordSize, 0);
    Put16(record, layout.offLength, static_cast<std::uint16_t>(layout.structSize));
    record[layout.offScsiStatus] = 0;
    record[layout.offPathId] = 0;
    record[layout.offTargetId] = kReturnCommandTargetId;
    record[layout.offLun] = 0;
    record[layout.offCdbLength] = static_cast<std::uint8_t>(kCdbSize);
    record[layout.offSenseInfoLength] = static_cast<std::uint8_t>(kSenseAreaSize);
    record[layout.offDataIn] = kScsiIoctlDataUnspecified;
    Put32(record, layout.offDataTransferLength, 0);
    Put32(record, layout.offTimeOutValue, kReturnCommandTimeoutSeconds);
    // DataBuffer stays null: there is no data phase.
    Put32(record, layout.offSenseInfoOffset, static_cast<std::uint32_t>(layout.structSize));
    record[layout.offCdb] = kReturnCommandOpcode;
    return record;
}

bool ParsePassThroughRecord(const PassThroughLayout& layout, const void* record, std::size_t size,
                            PassThroughRequest* out) {
    if (record == nullptr || out == nullptr || size < layout.structSize) {
        return false;
    }
    const auto* p = static_cast<const std::uint8_t*>(record);
    PassThroughRequest r{};
    r.length = static_cast<std::uint16_t>(GetLE(p + layout.offLength, 2));
    r.pathId = p[layout.offPathId];
    r.targetId = p[layout.offTargetId];
    r.lun = p[layout.offLun];
    r.cdbLength = p[layout.offCdbLength];
    r.senseInfoLength = p[layout.offSenseInfoLength];
    r.dataIn = p[layout.offDataIn];
    r.dataTransferLength = static_cast<std::uint32_t>(GetLE(p + layout.offDataTransferLength, 4));
    r.timeOutValue = static_cast<std::uint32_t>(GetLE(p + layout.offTimeOutValue, 4));
    r.dataBuffer = GetLE(p + layout.offDataBuffer, layout.pointerWidth);
    r.senseInfoOffset = static_cast<std::uint32_t>(GetLE(p + layout.offSenseInfoOffset, 4));
    std::memcpy(r.cdb, p + layout.offCdb, kCdbSize);
    if (r.length != layout.structSize || r.cdbLength == 0 || r.cdbLength > kCdbSize) {
        return false;
    }
    // The sense area must lie inside the record the caller handed over.
    if (r.senseInfoLength != 0 &&
        (r.senseInfoOffset < layout.structSize ||
         static_cast<std::uint64_t>(r.senseInfoOffset) + r.senseInfoLength > size)) {
        return false;
    }
    *out = r;
    return true;
}

}  // namespace Tolvane
