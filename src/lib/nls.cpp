#include "lib/nls.h"

#include <cstring>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cerrno>
#include <cwchar>
#include <cwctype>

#include <iconv.h>
#endif

namespace ZRK {

namespace {

int Sign(int n) noexcept {
    return n < 0 ? -1 : (n > 0 ? 1 : 0);
}

int CompareBytes(const char* pszA, const char* pszB) noexcept {
    // strcmp compares as unsigned char, which keeps double-byte text in
    // code order.
    return Sign(std::strcmp(pszA, pszB));
}

const char kReplacementUtf8[] = "\xEF\xBF\xBD";

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            out += kReplacementUtf8;
            return;
        }
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x110000) {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += kReplacementUtf8;
    }
}

// Length of the character that starts at p, given n bytes remain: 2 for a
// complete double-byte character, otherwise 1.
std::size_t CharLength(const char* p, std::size_t n) noexcept {
    return (n >= 2 && IsLeadByte932(static_cast<unsigned char>(p[0]))) ? 2 : 1;
}

#ifdef _WIN32

constexpr unsigned kCodePage = 932;

// One character (1 or 2 bytes) to UTF-16; false when it is not valid.
bool DecodeChar(const char* p, std::size_t n, std::uint32_t& cp) {
    wchar_t w[2];
    const int r =
        MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, p, static_cast<int>(n), w, 2);
    if (r != 1) {
        return false;
    }
    cp = static_cast<std::uint32_t>(w[0]);
    return true;
}

#else

// ASCII lower-casing that leaves double-byte characters alone, for texts
// that the locale mapping cannot take.
CTextString LowerAscii(const char* psz, std::uint32_t nLength) {
    CTextString result(psz, -1);
    char* p = result.GetWritableBuffer(nLength);
    if (p == nullptr) {
        return result;
    }
    for (std::uint32_t i = 0; i < nLength; ++i) {
        const unsigned char b = static_cast<unsigned char>(p[i]);
        if (IsLeadByte932(b) && i + 1 < nLength) {
            ++i;
        } else if (b >= 'A' && b <= 'Z') {
            p[i] = static_cast<char>(b - 'A' + 'a');
        }
    }
    result.RecalcLength();
    return result;
}

// iconv descriptors are costly to open, and sorting compares many texts, so
// each thread keeps its own pair.
class CConverter {
public:
    CConverter()
        : m_toWide(iconv_open("WCHAR_T", "CP932")), m_fromWide(iconv_open("CP932", "WCHAR_T")) {}
    ~CConverter() {
        if (m_toWide != Invalid()) {
            iconv_close(m_toWide);
        }
        if (m_fromWide != Invalid()) {
            iconv_close(m_fromWide);
        }
    }
    CConverter(const CConverter&) = delete;
    CConverter& operator=(const CConverter&) = delete;

    // Whole text to wide characters (zero-terminated); false on any
    // conversion failure.
    bool ToWide(const char* p, std::size_t n, std::vector<wchar_t>& out) {
        if (m_toWide == Invalid()) {
            return false;
        }
        iconv(m_toWide, nullptr, nullptr, nullptr, nullptr);
        // Code page 932 never yields more characters than bytes.
        out.assign(n + 1, L'\0');
        char* pIn = const_cast<char*>(p);
        std::size_t nIn = n;
        char* pOut = reinterpret_cast<char*>(out.data());
        std::size_t nOut = n * sizeof(wchar_t);
        if (iconv(m_toWide, &pIn, &nIn, &pOut, &nOut) == static_cast<std::size_t>(-1) || nIn != 0) {
            return false;
        }
        out.resize(n - nOut / sizeof(wchar_t) + 1);
        out.back() = L'\0';
        return true;
    }

    // Wide characters back to code page 932; false on any failure.
    bool FromWide(const wchar_t* p, std::size_t n, std::string& out) {
        if (m_fromWide == Invalid()) {
            return false;
        }
        iconv(m_fromWide, nullptr, nullptr, nullptr, nullptr);
        out.assign(n * 2, '\0');
        char* pIn = reinterpret_cast<char*>(const_cast<wchar_t*>(p));
        std::size_t nIn = n * sizeof(wchar_t);
        char* pOut = &out[0];
        std::size_t nOut = out.size();
        if (iconv(m_fromWide, &pIn, &nIn, &pOut, &nOut) == static_cast<std::size_t>(-1) ||
            nIn != 0) {
            return false;
        }
        out.resize(out.size() - nOut);
        return true;
    }

    // One character of 1 or 2 bytes; false when it is not valid.
    bool DecodeChar(const char* p, std::size_t n, std::uint32_t& cp) {
        std::vector<wchar_t> w;
        if (!ToWide(p, n, w) || w.size() != 2) {
            return false;
        }
        cp = static_cast<std::uint32_t>(w[0]);
        return true;
    }

    bool IsOpen() const noexcept { return m_toWide != Invalid(); }

private:
    static iconv_t Invalid() noexcept { return reinterpret_cast<iconv_t>(-1); }
    iconv_t m_toWide;
    iconv_t m_fromWide;
};

CConverter& Converter() {
    thread_local CConverter converter;
    return converter;
}

#endif

}  // namespace

bool IsLeadByte932(unsigned char b) noexcept {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

#ifdef _WIN32

int CompareLocale(const char* pszA, const char* pszB) {
    const char* a = pszA != nullptr ? pszA : "";
    const char* b = pszB != nullptr ? pszB : "";
    const int r = CompareStringA(LOCALE_USER_DEFAULT, 0, a, -1, b, -1);
    if (r == 0) {
        return CompareBytes(a, b);
    }
    return Sign(r - CSTR_EQUAL);
}

CTextString LowerCaseLocale(const char* psz) {
    const std::uint32_t nLength = StrLen(psz);
    if (nLength == 0) {
        return CTextString();
    }
    std::vector<char> buffer(2 * static_cast<std::size_t>(nLength) + 2, '\0');
    const int r = LCMapStringA(GetUserDefaultLCID(), LCMAP_LOWERCASE, psz, -1, buffer.data(),
                               static_cast<int>(buffer.size()));
    if (r <= 0) {
        return CTextString();
    }
    buffer.back() = '\0';
    return CTextString(buffer.data());
}

#else

int CompareLocale(const char* pszA, const char* pszB) {
    const char* a = pszA != nullptr ? pszA : "";
    const char* b = pszB != nullptr ? pszB : "";
    std::vector<wchar_t> wa;
    std::vector<wchar_t> wb;
    CConverter& conv = Converter();
    if (!conv.ToWide(a, std::strlen(a), wa) || !conv.ToWide(b, std::strlen(b), wb)) {
        return CompareBytes(a, b);
    }
    return Sign(std::wcscoll(wa.data(), wb.data()));
}

CTextString LowerCaseLocale(const char* psz) {
    const std::uint32_t nLength = StrLen(psz);
    if (nLength == 0) {
        return CTextString();
    }
    std::vector<wchar_t> wide;
    std::string lowered;
    CConverter& conv = Converter();
    if (!conv.ToWide(psz, nLength, wide)) {
        return LowerAscii(psz, nLength);
    }
    for (wchar_t& w : wide) {
        w = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(w)));
    }
    if (!conv.FromWide(wide.data(), wide.size() - 1, lowered)) {
        return LowerAscii(psz, nLength);
    }
    return CTextString(lowered.c_str());
}

#endif

std::string Cp932ToUtf8(const char* p, std::size_t nLength) {
    std::string out;
    if (p == nullptr) {
        return out;
    }
    out.reserve(nLength);
#ifndef _WIN32
    CConverter& conv = Converter();
#endif
    std::size_t i = 0;
    while (i < nLength) {
        const unsigned char b = static_cast<unsigned char>(p[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        const std::size_t n = CharLength(p + i, nLength - i);
        // Single bytes other than ASCII and half-width katakana (A1h-DFh)
        // are no characters of the code page, whatever a platform's
        // conversion table makes of them.
        if (n == 1 && (b < 0xA1 || b > 0xDF)) {
            out += kReplacementUtf8;
            ++i;
            continue;
        }
        std::uint32_t cp = 0;
#ifdef _WIN32
        const bool ok = DecodeChar(p + i, n, cp);
#else
        const bool ok = conv.IsOpen() && conv.DecodeChar(p + i, n, cp);
#endif
        if (ok) {
            AppendUtf8(out, cp);
            i += n;
        } else {
            // An invalid lead byte takes only itself, so that a following
            // ASCII byte is not swallowed.
            out += kReplacementUtf8;
            ++i;
        }
    }
    return out;
}

std::string Cp932ToUtf8(const char* psz) {
    return Cp932ToUtf8(psz, psz != nullptr ? std::strlen(psz) : 0);
}

}  // namespace ZRK
