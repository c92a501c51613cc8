#include "platform/linux/tui/tui_text.h"

#include <cstdio>

#include "lib/nls.h"

namespace Tolvane {
namespace Tui {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

std::string Escaped(const std::string& raw, bool keepNonAscii) {
    std::string out;
    for (const char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 0x20 && b < 0x7F) || (keepNonAscii && b >= 0x80)) {
            out += c;
        } else {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", b);
            out += escape;
        }
    }
    return out;
}

}  // namespace

std::wstring DecodeUtf8(const std::string& utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<wchar_t>(lead));
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t value = 0;
        char32_t minimum = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            value = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            value = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            value = lead & 0x07;
            minimum = 0x10000;
        }
        bool ok = length != 0 && i + length <= n;
        for (std::size_t k = 1; ok && k < length; ++k) {
            const unsigned char b = static_cast<unsigned char>(utf8[i + k]);
            ok = IsContinuation(b);
            value = (value << 6) | (b & 0x3F);
        }
        ok = ok && value >= minimum && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
        if (ok) {
            out.push_back(static_cast<wchar_t>(value));
            i += length;
        } else {
            out.push_back(kReplacement);
            ++i;
        }
    }
    return out;
}

std::wstring ScreenText(const std::string& cp932) {
    return DecodeUtf8(ZRK::Cp932ToUtf8(cp932.data(), cp932.size()));
}

int CellWidth(wchar_t ch, const WidthFn& width) {
    const int w = width(ch);
    return w < 0 ? 1 : w;
}

int TextWidth(const std::wstring& text, const WidthFn& width) {
    int total = 0;
    for (wchar_t ch : text) {
        total += CellWidth(ch, width);
    }
    return total;
}

std::wstring FitText(const std::wstring& text, int cells, const WidthFn& width) {
    std::wstring out;
    int used = 0;
    for (wchar_t ch : text) {
        const int w = CellWidth(ch, width);
        if (used + w > cells) {
            break;
        }
        out.push_back(ch);
        used += w;
    }
    return out;
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines(1);
    for (wchar_t ch : text) {
        if (ch == L'\n') {
            lines.emplace_back();
        } else {
            lines.back().push_back(ch);
        }
    }
    return lines;
}

std::wstring StripMnemonic(const std::wstring& text) {
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&') {
            // "&&" is a literal ampersand; a lone mark only underlines the
            // next character.
            if (i + 1 < text.size() && text[i + 1] == L'&') {
                out.push_back(L'&');
                ++i;
            }
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

std::string FillIn(const std::string& format, const std::string& arg) {
    const std::size_t at = format.find("%s");
    if (at == std::string::npos) {
        return format;
    }
    std::string out = format;
    out.replace(at, 2, arg);
    return out;
}

std::string DeviceText(const std::string& raw) {
    return Escaped(raw, false);
}

std::string ArgumentText(const std::string& raw) {
    return Escaped(raw, true);
}

}  // namespace Tui
}  // namespace Tolvane
