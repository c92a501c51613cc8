#include "lib/text_string.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "lib/exceptions.h"
#include "lib/nls.h"

namespace ZRK {

UEmptyRecord g_zrkEmptyRecord;

std::uint32_t StrLen(const char* psz) noexcept {
    if (psz == nullptr) {
        return 0;
    }
    // A longer text saturates rather than wraps; no block can hold it, so
    // every size computed from it is refused.
    const std::size_t nLength = std::strlen(psz);
    return nLength < kMaxCapacity ? static_cast<std::uint32_t>(nLength) : kMaxCapacity;
}

namespace {

// Sizes are computed in 64 bits, so none of them wraps; a block that the
// 32-bit header cannot describe is refused.
std::uint32_t CheckedCapacity(std::uint64_t nCapacity) {
    if (nCapacity > kMaxCapacity) {
        throw CInvalidParamException(0);
    }
    return static_cast<std::uint32_t>(nCapacity);
}

// Capacity for a wanted length with the growth margin and the zero byte.
// Next to the header's limit the margin gives way; the text itself and its
// zero byte must fit.
std::uint32_t GrownCapacity(std::uint64_t nLength) {
    const std::uint32_t nExact = CheckedCapacity(nLength + 1);
    const std::uint64_t nGrown = std::uint64_t{nExact} + GrowthMargin(nExact - 1);
    return nGrown < kMaxCapacity ? static_cast<std::uint32_t>(nGrown) : kMaxCapacity;
}

}  // namespace

char* CTextString::NewBlock(std::uint32_t nCapacity, const char* psz, std::uint32_t nLength) {
    if constexpr (sizeof(std::size_t) <= sizeof(std::uint32_t)) {
        // A 32-bit address space cannot hold the largest blocks; the size
        // of the allocation must not wrap either.
        if (nCapacity > SIZE_MAX - sizeof(STextHeader)) {
            throw std::bad_alloc();
        }
    }
    void* pRaw = ::operator new(sizeof(STextHeader) + static_cast<std::size_t>(nCapacity));
    STextHeader* pHeader = new (pRaw) STextHeader;
    pHeader->nCount.store(1, std::memory_order_relaxed);
    pHeader->nLength = nLength;
    pHeader->nCapacity = nCapacity;
    char* pText = static_cast<char*>(pRaw) + sizeof(STextHeader);
    if (nLength != 0) {
        std::memcpy(pText, psz, nLength);
    }
    pText[nLength] = '\0';
    return pText;
}

void CTextString::ReleaseBlock(char* psz) noexcept {
    if (psz == EmptyText()) {
        return;
    }
    STextHeader* pHeader = reinterpret_cast<STextHeader*>(psz - sizeof(STextHeader));
    if (pHeader->nCount.fetch_sub(1, std::memory_order_acq_rel) - 1 <= 0) {
        pHeader->~STextHeader();
        ::operator delete(static_cast<void*>(pHeader));
    }
}

void CTextString::Release() noexcept {
    char* psz = m_psz;
    m_psz = EmptyText();
    ReleaseBlock(psz);
}

CTextString::CTextString(const char* psz) : m_psz(EmptyText()) {
    const std::uint32_t nLength = StrLen(psz);
    if (nLength != 0) {
        m_psz = NewBlock(CheckedCapacity(std::uint64_t{nLength} + 1), psz, nLength);
    }
}

CTextString::CTextString(const char* psz, int nExtra) : m_psz(EmptyText()) {
    const std::uint32_t nLength = StrLen(psz);
    std::uint32_t nCapacity;
    if (nExtra == -1) {
        if (nLength == 0) {
            return;
        }
        nCapacity = CheckedCapacity(std::uint64_t{nLength} + 1);
    } else {
        // A negative reserve other than -1 cannot shrink below the text.
        nCapacity = GrownCapacity(std::uint64_t{nLength} +
                                  (nExtra > 0 ? static_cast<std::uint32_t>(nExtra) : 0u));
    }
    m_psz = NewBlock(nCapacity, psz, nLength);
}

CTextString::CTextString(const CTextString& other) noexcept : m_psz(EmptyText()) {
    *this = other;
}

CTextString& CTextString::operator=(const CTextString& other) noexcept {
    if (other.GetLength() != 0) {
        // Count first: other may be the last holder of our own block.
        other.Header()->nCount.fetch_add(1, std::memory_order_acq_rel);
        char* psz = other.m_psz;
        Release();
        m_psz = psz;
    } else {
        // Also a string in the middle of a direct write: it copies as "".
        Release();
    }
    return *this;
}

CTextString& CTextString::operator=(CTextString&& other) noexcept {
    if (this != &other) {
        Release();
        m_psz = other.m_psz;
        other.m_psz = EmptyText();
    }
    return *this;
}

CTextString& CTextString::operator=(const char* psz) {
    CTextString copy(psz);
    return *this = std::move(copy);
}

void CTextString::AppendBytes(const char* p, std::uint32_t n) {
    if (n == 0) {
        return;
    }
    const std::uint32_t nLength = GetLength();
    const std::uint64_t nNewLength = std::uint64_t{nLength} + n;
    if (!IsEmptyRecord() && Header()->nCount.load(std::memory_order_acquire) == 1 &&
        Header()->nCapacity > nNewLength) {
        // p may point into this very text; the bytes it reads lie before
        // the ones written.
        std::memmove(m_psz + nLength, p, n);
        m_psz[nLength + n] = '\0';
        Header()->nLength = static_cast<std::uint32_t>(nNewLength);
        return;
    }
    char* pNew = NewBlock(GrownCapacity(nNewLength), m_psz, nLength);
    std::memcpy(pNew + nLength, p, n);
    pNew[nNewLength] = '\0';
    Header(pNew)->nLength = static_cast<std::uint32_t>(nNewLength);
    Release();
    m_psz = pNew;
}

CTextString& CTextString::Append(const char* psz) {
    AppendBytes(psz, StrLen(psz));
    return *this;
}

CTextString& CTextString::AppendChar(char ch) {
    if (ch != '\0') {
        AppendBytes(&ch, 1);
    }
    return *this;
}

int CTextString::Find(const char* pszPattern, int nStart) const noexcept {
    if (nStart < 0 || static_cast<std::uint32_t>(nStart) > GetLength()) {
        return -1;
    }
    const char* pHit = std::strstr(m_psz + nStart, pszPattern != nullptr ? pszPattern : "");
    return pHit == nullptr ? -1 : static_cast<int>(pHit - m_psz);
}

int CTextString::Find(char ch, int nStart) const noexcept {
    if (ch == '\0' || nStart < 0 || static_cast<std::uint32_t>(nStart) > GetLength()) {
        return -1;
    }
    const char* pHit = std::strchr(m_psz + nStart, ch);
    return pHit == nullptr ? -1 : static_cast<int>(pHit - m_psz);
}

int CTextString::ReverseFind(char ch) const noexcept {
    if (ch == '\0') {
        return -1;
    }
    int nLast = -1;
    const char* p = std::strchr(m_psz, ch);
    while (p != nullptr) {
        nLast = static_cast<int>(p - m_psz);
        // Step over the trail byte of a hit that leads a double-byte
        // character, but never over the terminating zero.
        const bool bLead = IsLeadByte932(static_cast<unsigned char>(*p)) && p[1] != '\0';
        p = std::strchr(p + (bLead ? 2 : 1), ch);
    }
    return nLast;
}

CTextString CTextString::Mid(std::uint32_t nStart, std::uint32_t nCount) const {
    const std::uint32_t nLength = GetLength();
    if (nStart >= nLength || nCount == 0) {
        return CTextString();
    }
    if (nCount == kToEnd || nCount > nLength - nStart) {
        nCount = nLength - nStart;
    }
    std::uint32_t nTaken = 0;
    while (nTaken < nCount) {
        const std::uint32_t nAt = nStart + nTaken;
        const bool bLead = IsLeadByte932(static_cast<unsigned char>(m_psz[nAt]));
        nTaken += (bLead && nAt + 1 < nLength) ? 2 : 1;
    }
    CTextString result;
    result.m_psz = NewBlock(nTaken + 1, m_psz + nStart, nTaken);
    return result;
}

int CTextString::Replace(const char* pszFrom, const char* pszTo) {
    const std::uint32_t nFrom = StrLen(pszFrom);
    if (nFrom == 0) {
        return 0;
    }
    const char* pTo = pszTo != nullptr ? pszTo : "";
    const std::uint32_t nTo = StrLen(pTo);
    // In the middle of a direct write the stored length is 0 while the text
    // is there: measure it first, as the writer's RecalcLength would. (Such
    // a block is never shared: a text of length 0 copies as "".)
    RecalcLength();
    std::uint64_t nHits = 0;
    for (const char* p = std::strstr(m_psz, pszFrom); p != nullptr;
         p = std::strstr(p + nFrom, pszFrom)) {
        ++nHits;
    }
    if (nHits == 0) {
        return 0;
    }
    // Hits do not overlap, so they take at most the whole text.
    const std::uint64_t nNewLength = GetLength() - nFrom * nHits + nTo * nHits;
    const std::uint32_t nNewCapacity = GrownCapacity(nNewLength);
    if (nNewLength == 0) {
        Release();
        return static_cast<int>(nHits);
    }
    char* pNew = NewBlock(nNewCapacity, nullptr, 0);
    char* pOut = pNew;
    const char* pIn = m_psz;
    for (const char* p = std::strstr(pIn, pszFrom); p != nullptr; p = std::strstr(pIn, pszFrom)) {
        std::memcpy(pOut, pIn, static_cast<std::size_t>(p - pIn));
        pOut += p - pIn;
        std::memcpy(pOut, pTo, nTo);
        pOut += nTo;
        pIn = p + nFrom;
    }
    const std::size_t nRest = std::strlen(pIn);
    std::memcpy(pOut, pIn, nRest);
    pOut[nRest] = '\0';
    Header(pNew)->nLength = static_cast<std::uint32_t>(nNewLength);
    Release();
    m_psz = pNew;
    return static_cast<int>(nHits);
}

int CTextString::Compare(const char* psz) const {
    return CompareLocale(m_psz, psz);
}

bool operator==(const CTextString& a, const CTextString& b) noexcept {
    return a.GetLength() == b.GetLength() && std::strcmp(a.m_psz, b.m_psz) == 0;
}

bool operator==(const CTextString& a, const char* b) noexcept {
    return std::strcmp(a.m_psz, b != nullptr ? b : "") == 0;
}

char* CTextString::GetWritableBuffer(std::uint32_t n) {
    if (IsEmptyRecord()) {
        if (n == 0) {
            return nullptr;
        }
        m_psz = NewBlock(CheckedCapacity(std::uint64_t{n} + 1), nullptr, 0);
    } else if (Header()->nCapacity < n) {
        // The old character area is kept, so a caller may extend its text.
        char* pNew = NewBlock(n, nullptr, 0);
        std::memcpy(pNew, m_psz, Header()->nCapacity);
        Release();
        m_psz = pNew;
    } else if (Header()->nCount.load(std::memory_order_acquire) >= 2) {
        const std::uint32_t nCapacity = Header()->nCapacity;
        char* pNew = NewBlock(nCapacity, nullptr, 0);
        std::memcpy(pNew, m_psz, nCapacity);
        Release();
        m_psz = pNew;
    }
    Header()->nLength = 0;
    return m_psz;
}

void CTextString::RecalcLength() noexcept {
    if (IsEmptyRecord() || Header()->nCount.load(std::memory_order_acquire) != 1) {
        return;
    }
    // A caller that filled the whole area without a zero byte must not
    // make us read past it.
    const std::uint32_t nCapacity = Header()->nCapacity;
    const void* pZero = std::memchr(m_psz, '\0', nCapacity);
    if (pZero == nullptr) {
        m_psz[nCapacity - 1] = '\0';
        Header()->nLength = nCapacity - 1;
    } else {
        Header()->nLength = static_cast<std::uint32_t>(static_cast<const char*>(pZero) - m_psz);
    }
}

namespace {

#ifndef _WIN32
// The Windows C runtime reads %I64d, %I64u, %I64x... as 64-bit conversions;
// glibc would read I as a flag and 64 as the width. Rewrite them as %ll.
std::string TranslateFormat(const char* pszFormat) {
    std::string out;
    const char* p = pszFormat;
    while (*p != '\0') {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        out += *p++;
        if (*p == '%') {
            out += *p++;
            continue;
        }
        while (*p != '\0' && std::strchr("-+ #0'123456789.*", *p) != nullptr) {
            out += *p++;
        }
        if (p[0] == 'I' && p[1] == '6' && p[2] == '4' && p[3] != '\0' &&
            std::strchr("diuxXo", p[3]) != nullptr) {
            out += "ll";
            p += 3;
        }
    }
    return out;
}
#endif

}  // namespace

CTextString CTextString::FormatV(const char* pszFormat, va_list args) {
    if (pszFormat == nullptr) {
        return CTextString();
    }
#ifdef _WIN32
    const char* pszActual = pszFormat;
#else
    const std::string translated = TranslateFormat(pszFormat);
    const char* pszActual = translated.c_str();
#endif
    std::size_t nSize = std::strlen(pszFormat) + 1024;
    std::vector<char> scratch;
    for (;;) {
        scratch.assign(nSize, '\0');
        va_list copy;
        va_copy(copy, args);
        const int r = std::vsnprintf(scratch.data(), nSize, pszActual, copy);
        va_end(copy);
        if (r >= 0 && static_cast<std::size_t>(r) < nSize) {
            break;
        }
        if (r < 0) {
#ifdef _WIN32
            // Older runtimes report truncation as -1; give up only when the
            // area has grown far beyond any text this program formats.
            if (nSize >= (std::size_t{1} << 26)) {
                return CTextString();
            }
            nSize *= 2;
            continue;
#else
            // A conversion error (an unconvertible wide character, a result
            // beyond INT_MAX) does not go away with a larger area.
            return CTextString();
#endif
        }
        // The formatter told us the length; double until it fits.
        while (nSize <= static_cast<std::size_t>(r)) {
            nSize *= 2;
        }
    }
    return CTextString(scratch.data());
}

CTextString CTextString::FormatC(const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    CTextString result;
    try {
        result = FormatV(pszFormat, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    return result;
}

}  // namespace ZRK
