#include "lib/collections.h"

namespace ZRK {

void CMemorySerializer::WriteWord(std::uint32_t nWord) {
    for (int i = 0; i < 4; ++i) {
        m_data.push_back(static_cast<std::uint8_t>(nWord & 0xFFu));
        nWord >>= 8;
    }
}

std::uint32_t CMemorySerializer::ReadWord() {
    std::uint8_t bytes[4];
    ReadBytes(bytes, 4);
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void CMemorySerializer::WriteBytes(const void* p, std::uint32_t n) {
    if (n == 0) {
        return;
    }
    if (p == nullptr) {
        throw CNullPointerException(0);
    }
    const std::uint8_t* pBytes = static_cast<const std::uint8_t*>(p);
    m_data.insert(m_data.end(), pBytes, pBytes + n);
}

void CMemorySerializer::ReadBytes(void* p, std::uint32_t n) {
    if (n == 0) {
        return;
    }
    if (n > m_data.size() - m_nRead) {
        throw CInvalidParamException(0);
    }
    if (p == nullptr) {
        throw CNullPointerException(0);
    }
    std::memcpy(p, m_data.data() + m_nRead, n);
    m_nRead += n;
}

void CElementSerializer<CTextString>::Write(CSerializer& serializer, const CTextString& value) {
    const std::uint32_t nLength = value.GetLength();
    serializer.WriteWord(nLength);
    serializer.WriteBytes(value.GetString(), nLength);
}

CTextString CElementSerializer<CTextString>::Read(CSerializer& serializer) {
    std::uint32_t nLength = serializer.ReadWord();
    // Read in pieces, so that a garbled length fails on the missing data
    // instead of allocating for it first.
    std::vector<char> bytes;
    char chunk[4096];
    while (nLength != 0) {
        const std::uint32_t n = nLength < sizeof(chunk) ? nLength : sizeof(chunk);
        serializer.ReadBytes(chunk, n);
        bytes.insert(bytes.end(), chunk, chunk + n);
        nLength -= n;
    }
    bytes.push_back('\0');
    // An embedded zero byte ends the text; the bytes behind it were still
    // consumed, so the stream stays in step.
    return CTextString(bytes.data());
}

}  // namespace ZRK
