#include "lib/hex.h"

#include <gtest/gtest.h>

#include <vector>

namespace ZRK {
namespace {

std::vector<std::uint8_t> Bytes(const CSharedArray<std::uint8_t>& a) {
    return std::vector<std::uint8_t>(a.GetBuffer(), a.GetBuffer() + a.GetSize());
}

TEST(HexTest, ToHexUpperCaseWithoutSeparators) {
    CSharedArray<std::uint8_t> bytes;
    const std::uint8_t data[] = {0x00, 0x9F, 0xFF};
    bytes.AddElements(3, data);
    EXPECT_STREQ(ToHex(bytes).GetString(), "009FFF");
    EXPECT_TRUE(ToHex(CSharedArray<std::uint8_t>()).IsEmpty());
    EXPECT_TRUE(ToHex(nullptr, 5).IsEmpty());
    const std::uint8_t all[] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_STREQ(ToHex(all, 8).GetString(), "0123456789ABCDEF");
}

TEST(HexTest, FromHexSkipsSeparatorsAndStopsAtOthers) {
    EXPECT_EQ(Bytes(FromHex("12 ab-CD")), (std::vector<std::uint8_t>{0x12, 0xAB, 0xCD}));
    EXPECT_EQ(Bytes(FromHex("1_2\t3\r\n4")), (std::vector<std::uint8_t>{0x12, 0x34}));
    EXPECT_EQ(Bytes(FromHex("F")), (std::vector<std::uint8_t>{0x0F}));
    EXPECT_EQ(Bytes(FromHex("1G2")), (std::vector<std::uint8_t>{0x01}));
    EXPECT_EQ(Bytes(FromHex("0x12")), (std::vector<std::uint8_t>{0x00}));  // 'x' ends it
    EXPECT_EQ(FromHex("").GetSize(), 0u);
    EXPECT_EQ(FromHex(nullptr).GetSize(), 0u);
    EXPECT_EQ(FromHex("--  ").GetSize(), 0u);
}

TEST(HexTest, OddDigitCountMakesTheFirstByteFromOneDigit) {
    EXPECT_EQ(Bytes(FromHex("ABC")), (std::vector<std::uint8_t>{0x0A, 0xBC}));
    EXPECT_EQ(Bytes(FromHex("12345")), (std::vector<std::uint8_t>{0x01, 0x23, 0x45}));
}

TEST(HexTest, RoundTrip) {
    std::vector<std::uint8_t> data(256);
    for (int i = 0; i < 256; ++i) {
        data[i] = static_cast<std::uint8_t>(255 - i);
    }
    CTextString text = ToHex(data.data(), 256);
    EXPECT_EQ(text.GetLength(), 512u);
    EXPECT_EQ(Bytes(FromHex(text)), data);
}

}  // namespace
}  // namespace ZRK
