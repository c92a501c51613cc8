// National-language helpers for the program's texts, which are always code
// page 932 (Japanese double-byte) byte strings. On Windows they call the
// system's national-language support; elsewhere they convert through iconv
// and use the C library's wide-character locale functions.
#pragma once

#include <cstddef>
#include <string>

#include "lib/text_string.h"

namespace ZRK {

// True for the bytes that start a double-byte character in code page 932
// (81h-9Fh and E0h-FCh).
bool IsLeadByte932(unsigned char b) noexcept;

// Locale comparison of two texts under the user's locale, whole strings,
// no flags (case, width and kana type significant): -1, 0 or 1. A null text
// compares as "". Where a text cannot be converted for the locale
// comparison, the two are compared as unsigned bytes.
//
// Off Windows the collation is LC_COLLATE of the C library; selecting the
// user's locale (setlocale(LC_COLLATE, "")) is up to the application.
int CompareLocale(const char* pszA, const char* pszB);

// Lower-case copy under the user's locale. Off Windows each character is
// mapped with towlower (LC_CTYPE); a text that cannot be converted is
// lowered for ASCII letters only, stepping over double-byte characters.
// A null text gives the empty string.
CTextString LowerCaseLocale(const char* psz);

// Code page 932 text converted to UTF-8 for display. Bytes that do not form
// a valid character (a lone lead byte at the end included) each become
// U+FFFD. Reads at most nLength bytes; the zero-terminated form stops at the
// first zero byte; a null text gives "".
std::string Cp932ToUtf8(const char* p, std::size_t nLength);
std::string Cp932ToUtf8(const char* psz);

}  // namespace ZRK
