// The program's texts are code page 932 bytes whatever the system's ANSI
// code page is; everything shown goes through the wide calls, converted
// here with code page 932 named explicitly.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace Tolvane {
namespace Win32 {

constexpr UINT kTextCodePage = 932;

// Code page 932 bytes to UTF-16. Bytes that form no character become the
// system's default replacement; the conversion never fails as a whole.
std::wstring WidenCp932(const std::string& text);
// UTF-16 to code page 932; characters without a code page 932 form become
// '?'.
std::string NarrowCp932(const std::wstring& text);

// One UTF-16 unit of a WM_CHAR as the field's logic sees characters: a
// single byte, or lead byte << 8 | trail byte for a double-byte one. A unit
// without a code page 932 form (a surrogate half, say) gives 0xFFFF, which
// no field admits.
UINT CharCodeCp932(wchar_t ch);

// Caret positions: the logic counts code page 932 bytes, the control counts
// UTF-16 units. Both clamp to the text.
int BytePosition(const std::wstring& text, int unitPosition);
int UnitPosition(const std::wstring& text, int bytePosition);

}  // namespace Win32
}  // namespace Tolvane
