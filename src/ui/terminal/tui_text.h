// Text for the terminal screen. The program holds its texts as code page 932
// bytes; the screen wants wide characters (glibc's wchar_t is a Unicode code
// point whatever the locale) and their widths in cells, which the locale's
// wcwidth tells. Width is passed in as a function so that layout can be
// measured without a terminal.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace Tolvane {
namespace Tui {

// Cells a character takes; a negative answer means the locale cannot show
// it, and the screen then shows kUnprintable (one cell) in its place.
using WidthFn = std::function<int(wchar_t)>;

constexpr wchar_t kUnprintable = L'?';

// UTF-8 to code points. A byte that does not start a well-formed sequence
// (overlong forms, surrogates and values past U+10FFFF included) becomes
// U+FFFD, and decoding resumes at the next byte.
std::wstring DecodeUtf8(const std::string& utf8);

// A text of the program (code page 932 bytes) as the screen shows it.
std::wstring ScreenText(const std::string& cp932);

// The cells one character takes on the screen: its width, or 1 for a
// character the locale cannot show (it is drawn as kUnprintable).
int CellWidth(wchar_t ch, const WidthFn& width);
int TextWidth(const std::wstring& text, const WidthFn& width);

// The longest front part of text that fits into cells; a double-width
// character that would be cut in half is left out.
std::wstring FitText(const std::wstring& text, int cells, const WidthFn& width);

// Lines at each line feed; "" gives one empty line.
std::vector<std::wstring> SplitLines(const std::wstring& text);

// One line broken into lines of at most cells: at a space, which goes, or
// between two characters of which one is double-width (Japanese breaks
// between any two), but never before a closing mark (、。）」 and the like)
// nor after an opening one; a word longer than a line is cut. A broken
// line keeps no space at its ends, the first its indentation.
std::vector<std::wstring> WrapLine(const std::wstring& line, int cells, const WidthFn& width);

// A menu or button text without its mnemonic marks: "(&A)" shows as "(A)",
// "&&" as "&".
std::wstring StripMnemonic(const std::wstring& text);

}  // namespace Tui
}  // namespace Tolvane
