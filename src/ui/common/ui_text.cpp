#include "ui/common/ui_text.h"

#include <cstdio>

namespace Tolvane {
namespace Ui {

namespace {

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

}  // namespace Ui
}  // namespace Tolvane
