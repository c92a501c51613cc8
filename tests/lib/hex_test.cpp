#include "lib/hex.h"

#include <gtest/gtest.h>

#include <vector>

namespace ZRK {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(const CSharedArray<std::uint8_t>& a) {
    return Bytes(a.GetBuffer(), a.GetBuffer() + a.GetSize());
}

TEST(HexTest, ToHexIsUpperCaseWithoutSeparators) {
    const Bytes all = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    CSharedArray<std::uint8_t> bytes;
    bytes.AddElements(8, all.data());
    EXPECT_STREQ(ToHex(bytes), "0123456789ABCDEF");
    EXPECT_STREQ(ToHex(all.data() + 7, 1), "EF");
    EXPECT_TRUE(ToHex(CSharedArray<std::uint8_t>()).IsEmpty());
    EXPECT_TRUE(ToHex(nullptr, 5).IsEmpty());
    // Counts whose text would not fit a 32-bit length are refused.
    for (std::uint32_t n : {0x80000000u, 0x80000001u, 0xFFFFFFFFu}) {
        EXPECT_THROW(ToHex(all.data(), n), CInvalidParamException) << n;
    }
}

TEST(HexTest, FromHexSkipsSeparatorsAndStopsAtAnythingElse) {
    EXPECT_EQ(Of(FromHex("01 23-45_67\t89\r\nab cd Ef")),
              (Bytes{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(Of(FromHex("1G2")), (Bytes{0x01}));
    EXPECT_EQ(Of(FromHex("0x12")), (Bytes{0x00}));
    EXPECT_EQ(Of(FromHex("ABC")), (Bytes{0x0A, 0xBC}));  // an odd count: the first digit alone
    EXPECT_TRUE(Of(FromHex("")).empty());
    EXPECT_TRUE(Of(FromHex("--  ")).empty());
    EXPECT_TRUE(Of(FromHex(nullptr)).empty());
}

}  // namespace
}  // namespace ZRK
