#include "ui/terminal/tui_text.h"

#include "lib/nls.h"

namespace Tolvane {
namespace Tui {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
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

std::vector<std::wstring> WrapLine(const std::wstring& line, int cells, const WidthFn& width) {
    static const std::wstring kClosing = L"、。，．）」』】〕・ー)]}.,:;!?";
    static const std::wstring kOpening = L"（「『【〔([{";
    const auto isWide = [&](wchar_t c) { return CellWidth(c, width) > 1; };
    const auto trimmed = [](std::wstring s, bool front) {
        const std::size_t keep = front ? s.find_first_not_of(L' ') : s.find_last_not_of(L' ');
        if (keep == std::wstring::npos) {
            return std::wstring();
        }
        return front ? s.substr(keep) : s.substr(0, keep + 1);
    };
    std::vector<std::wstring> lines;
    std::wstring current;
    for (wchar_t ch : line) {
        if (ch == L' ' && current.empty() && !lines.empty()) {
            continue;  // a broken line starts with its text
        }
        current.push_back(ch);
        if (TextWidth(current, width) <= cells || current.size() == 1) {
            continue;
        }
        // The last place a break may go, with text before it.
        const std::size_t text = current.find_first_not_of(L' ');
        std::size_t at = current.size() - 1;
        for (std::size_t i = current.size() - 1; i > text; --i) {
            const wchar_t before = current[i - 1];
            const wchar_t after = current[i];
            if ((before == L' ' || after == L' ' || isWide(before) || isWide(after)) &&
                kClosing.find(after) == std::wstring::npos &&
                kOpening.find(before) == std::wstring::npos) {
                at = i;
                break;
            }
        }
        if (TextWidth(current.substr(at), width) > cells) {
            at = current.size() - 1;
        }
        lines.push_back(trimmed(current.substr(0, at), false));
        current = trimmed(current.substr(at), true);
    }
    lines.push_back(current);
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

}  // namespace Tui
}  // namespace Tolvane
