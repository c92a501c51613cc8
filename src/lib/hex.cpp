#include "lib/hex.h"

#include <vector>

namespace ZRK {

namespace {

int NibbleValue(char ch) noexcept {
    if (ch >= '0' && ch <= '9') {
        return ch - '0';
    }
    if (ch >= 'A' && ch <= 'F') {
        return ch - 'A' + 10;
    }
    if (ch >= 'a' && ch <= 'f') {
        return ch - 'a' + 10;
    }
    return -1;
}

bool IsSeparator(char ch) noexcept {
    return ch == '_' || ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '-';
}

}  // namespace

CTextString ToHex(const std::uint8_t* pBytes, std::uint32_t nCount) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (nCount == 0 || pBytes == nullptr) {
        return CTextString();
    }
    // Two characters per byte and the zero byte must fit a 32-bit capacity.
    if (nCount > (kMaxCapacity - 1) / 2) {
        throw CInvalidParamException(0);
    }
    CTextString text;
    char* p = text.GetWritableBuffer(2 * nCount);
    for (std::uint32_t i = 0; i < nCount; ++i) {
        p[2 * i] = kDigits[pBytes[i] >> 4];
        p[2 * i + 1] = kDigits[pBytes[i] & 0x0F];
    }
    p[2 * nCount] = '\0';
    text.RecalcLength();
    return text;
}

CTextString ToHex(const CReadCollection<std::uint8_t>& bytes) {
    CLockGuard guard(const_cast<CReadCollection<std::uint8_t>*>(&bytes));
    const std::uint32_t nCount = bytes.GetSize();
    std::vector<std::uint8_t> copy(nCount);
    for (std::uint32_t i = 0; i < nCount; ++i) {
        copy[i] = bytes.At(i);
    }
    return ToHex(copy.data(), nCount);
}

CSharedArray<std::uint8_t> FromHex(const char* psz) {
    std::vector<std::uint8_t> nibbles;
    for (const char* p = psz != nullptr ? psz : ""; *p != '\0'; ++p) {
        if (IsSeparator(*p)) {
            continue;
        }
        const int v = NibbleValue(*p);
        if (v < 0) {
            break;
        }
        nibbles.push_back(static_cast<std::uint8_t>(v));
    }
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    if (nibbles.size() % 2 != 0) {
        bytes.push_back(nibbles[0]);
        i = 1;
    }
    for (; i + 1 < nibbles.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>((nibbles[i] << 4) | nibbles[i + 1]));
    }
    // More bytes than an array holds would be lost in the count's cast.
    if (bytes.size() > 0x7FFFFFFFu) {
        throw CInvalidParamException(0);
    }
    CSharedArray<std::uint8_t> result;
    result.AddElements(static_cast<std::uint32_t>(bytes.size()), bytes.data());
    return result;
}

}  // namespace ZRK
