#include "ui/win32/win32_text.h"

#include <windows.h>

namespace Tolvane {
namespace Win32 {

namespace {

// Bytes of the code page 932 form of text[from, from + count).
int BytesOf(const std::wstring& text, std::size_t from, std::size_t count) {
    if (count == 0) {
        return 0;
    }
    return ::WideCharToMultiByte(kTextCodePage, WC_NO_BEST_FIT_CHARS, text.data() + from,
                                 static_cast<int>(count), nullptr, 0, nullptr, nullptr);
}

// UTF-16 units of the character that starts at index (a surrogate pair is
// one character).
std::size_t UnitsAt(const std::wstring& text, std::size_t index) {
    if (index + 1 < text.size() && IS_HIGH_SURROGATE(text[index]) &&
        IS_LOW_SURROGATE(text[index + 1])) {
        return 2;
    }
    return 1;
}

}  // namespace

std::wstring WidenCp932(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int size = static_cast<int>(text.size());
    const int units = ::MultiByteToWideChar(kTextCodePage, 0, text.data(), size, nullptr, 0);
    if (units <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(kTextCodePage, 0, text.data(), size, &wide[0], units);
    return wide;
}

std::string NarrowCp932(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = static_cast<int>(text.size());
    // No best fit: a character that code page 932 lacks becomes '?', never a
    // look-alike (a superscript two is no 2 for the field).
    const int bytes = ::WideCharToMultiByte(kTextCodePage, WC_NO_BEST_FIT_CHARS, text.data(), size,
                                            nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return std::string();
    }
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(kTextCodePage, WC_NO_BEST_FIT_CHARS, text.data(), size, &narrow[0], bytes,
                          nullptr, nullptr);
    return narrow;
}

UINT CharCodeCp932(wchar_t ch) {
    constexpr UINT kNoCharacter = 0xFFFF;
    if (ch < 0x80) {
        return ch;
    }
    char bytes[2] = {};
    BOOL defaulted = FALSE;
    const int count = ::WideCharToMultiByte(kTextCodePage, WC_NO_BEST_FIT_CHARS, &ch, 1, bytes,
                                            sizeof bytes, nullptr, &defaulted);
    if (defaulted || count < 1) {
        return kNoCharacter;
    }
    const UINT first = static_cast<unsigned char>(bytes[0]);
    if (count == 1) {
        return first;
    }
    return (first << 8) | static_cast<unsigned char>(bytes[1]);
}

int BytePosition(const std::wstring& text, int unitPosition) {
    if (unitPosition <= 0) {
        return 0;
    }
    const std::size_t units =
        static_cast<std::size_t>(unitPosition) < text.size() ? unitPosition : text.size();
    return BytesOf(text, 0, units);
}

int UnitPosition(const std::wstring& text, int bytePosition) {
    std::size_t index = 0;
    int bytes = 0;
    while (index < text.size() && bytes < bytePosition) {
        const std::size_t units = UnitsAt(text, index);
        bytes += BytesOf(text, index, units);
        index += units;
    }
    return static_cast<int>(index);
}

}  // namespace Win32
}  // namespace Tolvane
