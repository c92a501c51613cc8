#include "modes/pass_through.h"

#include <gtest/gtest.h>

namespace Tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The record byte for byte in both widths: SCSI_PASS_THROUGH_DIRECT (44
// bytes with the sense area at 44 on 32-bit, 56 with it at 56 on 64-bit, the
// data pointer aligned to its width), then 32 bytes of cleared sense.
TEST(PassThroughRecord, CarriesTheReturnCommandInBothWidths) {
    const struct {
        std::size_t width, dataBuffer, senseOffset, cdb, structSize, recordSize;
    } rows[] = {{4, 20, 24, 28, 44, 76}, {8, 24, 32, 36, 56, 88}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.width);
        const auto l = PassThroughLayout::For(row.width);
        EXPECT_EQ((std::vector<std::size_t>{l.offDataBuffer, l.offSenseInfoOffset, l.offCdb,
                                            l.structSize, l.recordSize}),
                  (std::vector<std::size_t>{row.dataBuffer, row.senseOffset, row.cdb,
                                            row.structSize, row.recordSize}));
        Bytes expected(row.recordSize, 0);
        expected[0] = static_cast<std::uint8_t>(row.structSize);  // Length
        expected[4] = 1;                                          // TargetId
        expected[6] = 16;                                         // CdbLength
        expected[7] = 32;                                         // SenseInfoLength
        expected[8] = 2;    // DataIn: SCSI_IOCTL_DATA_UNSPECIFIED, no data phase
        expected[16] = 60;  // TimeOutValue, seconds; DataTransferLength 0, DataBuffer null
        expected[row.senseOffset] = static_cast<std::uint8_t>(row.structSize);
        expected[row.cdb] = 0xFF;  // the return command, the other 15 CDB bytes 0
        EXPECT_EQ(BuildReturnCommandRecord(l), expected);
    }
}

TEST(PassThroughRecord, ParsesWhatWasBuiltAndRefusesGarbage) {
    const auto l = PassThroughLayout::For(8);
    const Bytes r = BuildReturnCommandRecord(l);
    PassThroughRequest req{};
    ASSERT_TRUE(ParsePassThroughRecord(l, r.data(), r.size(), &req));
    EXPECT_EQ((std::vector<std::uint32_t>{req.targetId, req.cdb[0], req.timeOutValue,
                                          req.senseInfoOffset}),
              (std::vector<std::uint32_t>{1, 0xFF, 60, 56}));
    // Too short for the structure or for the sense area; no record at all; a
    // CDB longer than its field; a 32-bit record handed to a 64-bit reader.
    EXPECT_FALSE(ParsePassThroughRecord(l, r.data(), l.structSize - 1, &req));
    EXPECT_FALSE(ParsePassThroughRecord(l, r.data(), l.structSize + 8, &req));
    EXPECT_FALSE(ParsePassThroughRecord(l, nullptr, r.size(), &req));
    for (const auto& [offset, value] : {std::pair<std::size_t, int>{l.offCdbLength, 17}, {0, 44}}) {
        Bytes bad = r;
        bad[offset] = static_cast<std::uint8_t>(value);
        EXPECT_FALSE(ParsePassThroughRecord(l, bad.data(), bad.size(), &req)) << offset;
    }
}

}  // namespace
}  // namespace Tolvane
