#include "modes/pass_through.h"

#include <gtest/gtest.h>

#include <cstring>

namespace Tolvane {
namespace {

std::uint32_t Read32(const std::vector<std::uint8_t>& b, std::size_t off) {
    return b[off] | b[off + 1] << 8 | b[off + 2] << 16 |
           static_cast<std::uint32_t>(b[off + 3]) << 24;
}

TEST(PassThroughLayout, ThirtyTwoBitRecordIs76BytesWithSenseAt44) {
    const auto l = PassThroughLayout::For(4);
    EXPECT_EQ(l.structSize, 44u);
    EXPECT_EQ(l.recordSize, 76u);
    EXPECT_EQ(l.offDataBuffer, 20u);
    EXPECT_EQ(l.offSenseInfoOffset, 24u);
    EXPECT_EQ(l.offCdb, 28u);
}

TEST(PassThroughLayout, SixtyFourBitRecordAlignsThePointerAndIs88Bytes) {
    const auto l = PassThroughLayout::For(8);
    EXPECT_EQ(l.offDataBuffer, 24u);
    EXPECT_EQ(l.offSenseInfoOffset, 32u);
    EXPECT_EQ(l.offCdb, 36u);
    EXPECT_EQ(l.structSize, 56u);
    EXPECT_EQ(l.recordSize, 88u);
}

TEST(PassThroughRecord, CarriesTheReturnCommandInBothWidths) {
    for (std::size_t width : {4u, 8u}) {
        SCOPED_TRACE(width);
        const auto l = PassThroughLayout::For(width);
        const auto r = BuildReturnCommandRecord(l);
        ASSERT_EQ(r.size(), l.recordSize);
        EXPECT_EQ(r[0] | r[1] << 8, static_cast<int>(l.structSize));  // Length
        EXPECT_EQ(r[2], 0);                                           // ScsiStatus
        EXPECT_EQ(r[3], 0);                                           // PathId
        EXPECT_EQ(r[4], 1);                                           // TargetId
        EXPECT_EQ(r[5], 0);                                           // Lun
        EXPECT_EQ(r[6], 16);                                          // CdbLength
        EXPECT_EQ(r[7], 32);                                          // SenseInfoLength
        EXPECT_EQ(r[8], 2);                                           // DataIn: no data phase
        EXPECT_EQ(Read32(r, 12), 0u);                                 // DataTransferLength
        EXPECT_EQ(Read32(r, 16), 60u);                                // TimeOutValue
        for (std::size_t i = 0; i < width; ++i) {
            EXPECT_EQ(r[l.offDataBuffer + i], 0) << "DataBuffer must be null";
        }
        EXPECT_EQ(Read32(r, l.offSenseInfoOffset), l.structSize);
        EXPECT_EQ(r[l.offCdb], 0xFF);
        for (std::size_t i = 1; i < kCdbSize; ++i) {
            EXPECT_EQ(r[l.offCdb + i], 0) << "CDB byte " << i;
        }
        for (std::size_t i = l.offCdb + kCdbSize; i < r.size(); ++i) {
            EXPECT_EQ(r[i], 0) << "padding and sense must be cleared, byte " << i;
        }
    }
}

TEST(PassThroughRecord, ParsesWhatWasBuiltAndRefusesGarbage) {
    const auto l = PassThroughLayout::For(8);
    auto r = BuildReturnCommandRecord(l);
    PassThroughRequest req{};
    ASSERT_TRUE(ParsePassThroughRecord(l, r.data(), r.size(), &req));
    EXPECT_EQ(req.targetId, 1);
    EXPECT_EQ(req.cdb[0], 0xFF);
    EXPECT_EQ(req.timeOutValue, 60u);
    EXPECT_EQ(req.senseInfoOffset, 56u);

    // Too short to hold the structure, or a sense area reaching past the end.
    EXPECT_FALSE(ParsePassThroughRecord(l, r.data(), l.structSize - 1, &req));
    EXPECT_FALSE(ParsePassThroughRecord(l, r.data(), l.structSize + 8, &req));
    EXPECT_FALSE(ParsePassThroughRecord(l, nullptr, r.size(), &req));

    auto bad = r;
    bad[l.offCdbLength] = 17;  // longer than the CDB field
    EXPECT_FALSE(ParsePassThroughRecord(l, bad.data(), bad.size(), &req));
    bad = r;
    bad[0] = 44;  // a 32-bit record handed to a 64-bit reader
    EXPECT_FALSE(ParsePassThroughRecord(l, bad.data(), bad.size(), &req));
}

}  // namespace
}  // namespace Tolvane
