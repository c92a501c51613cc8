// Hexadecimal text of byte arrays and back.
#pragma once

#include <cstdint>

#include "lib/collections.h"
#include "lib/text_string.h"

namespace ZRK {

// Upper-case hexadecimal, two characters per byte, no separators; an empty
// array gives the empty string. More than 7FFFFFFFh bytes, whose text would
// not fit a 32-bit length, throw CInvalidParamException.
CTextString ToHex(const CReadCollection<std::uint8_t>& bytes);
CTextString ToHex(const std::uint8_t* pBytes, std::uint32_t nCount);

// Collects hex digits, skipping '_', ' ', '\t', '\n', '\r' and '-', and stops
// at any other character. With an odd number of digits the first one alone
// makes the first byte ("ABC" gives 0Ah BCh). A null text gives no bytes.
CSharedArray<std::uint8_t> FromHex(const char* psz);

}  // namespace ZRK
