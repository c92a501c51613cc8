#include "platform/linux/cli/cli_terminal.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "lib/nls.h"
#include "tolvane_texts.h"

namespace Tolvane {
namespace Cli {

namespace {

bool IsUtf8Name(const std::string& codeset) {
    return strcasecmp(codeset.c_str(), "UTF-8") == 0 || strcasecmp(codeset.c_str(), "UTF8") == 0;
}

// Bytes of the UTF-8 sequence that starts with lead (1 for a stray byte).
std::size_t SequenceLength(unsigned char lead) {
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// One line from fd without its line feed (and carriage return), lower-cased
// and cut to what an answer needs; false at the end of input or on an error
// before a line feed.
bool ReadAnswer(int fd, std::string* answer) {
    constexpr std::size_t kLongestKept = 8;
    answer->clear();
    for (;;) {
        char c = 0;
        const ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        if (c == '\n') {
            if (!answer->empty() && answer->back() == '\r') {
                answer->pop_back();
            }
            return true;
        }
        if (answer->size() < kLongestKept) {
            *answer += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
}

}  // namespace

std::string LocaleCodeset() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr ? codeset : "";
}

CTextEncoder::CTextEncoder(std::string codeset)
    : m_codeset(std::move(codeset)), m_utf8(IsUtf8Name(m_codeset)) {}

std::string CTextEncoder::Encode(const std::string& cp932) const {
    const std::string utf8 = ZRK::Cp932ToUtf8(cp932.c_str(), cp932.size());
    if (m_utf8) {
        return utf8;
    }
    iconv_t cd = iconv_open(m_codeset.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return utf8;
    }
    std::string out;
    char buffer[32];
    // Appends what the conversion wrote, and on flush the return to the
    // initial shift state that a stateful codeset needs before plain bytes.
    const auto convert = [&](char** in, std::size_t* inLeft) {
        char* to = buffer;
        std::size_t toLeft = sizeof buffer;
        const bool ok = iconv(cd, in, inLeft, &to, &toLeft) != static_cast<std::size_t>(-1);
        out.append(buffer, sizeof buffer - toLeft);
        return ok;
    };
    std::size_t at = 0;
    while (at < utf8.size()) {
        // One character at a time, so that one without a place in the
        // codeset costs only itself.
        const std::size_t length =
            std::min(SequenceLength(static_cast<unsigned char>(utf8[at])), utf8.size() - at);
        char* in = const_cast<char*>(utf8.data() + at);
        std::size_t inLeft = length;
        if (!convert(&in, &inLeft)) {
            convert(nullptr, nullptr);
            out += '?';
        }
        at += length;
    }
    convert(nullptr, nullptr);
    iconv_close(cd);
    return out;
}

int OpenControllingTerminal() {
    return open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
}

bool AskYesNo(int fd, const CTextEncoder& encoder, const std::string& cp932Question) {
    const std::string prompt = encoder.Encode(cp932Question + " " + Text::kCliYesNo + " ");
    std::string answer;
    for (;;) {
        if (!WriteAll(fd, prompt) || !ReadAnswer(fd, &answer)) {
            return false;
        }
        if (answer == "y" || answer == "yes") {
            return true;
        }
        if (answer.empty() || answer == "n" || answer == "no") {
            return false;
        }
    }
}

}  // namespace Cli
}  // namespace Tolvane
