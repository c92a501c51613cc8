#include "ui/cli/cli_terminal.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <strings.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

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

// The terminal whose settings a signal handler puts back: set only while
// a question is asked.
volatile std::sig_atomic_t g_restoreFd = -1;
termios g_restoreSettings;

constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void RestoreAndEnd(int sig) {
    if (g_restoreFd >= 0) {
        tcsetattr(g_restoreFd, TCSANOW, &g_restoreSettings);
    }
    // The signal's own end, with its own status, as if we had not caught it.
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
    raise(sig);
}

// The question's terminal mode for as long as it lives: line input with
// echo and the usual control characters, input typed so far discarded.
// Nothing happens on an fd that is not a terminal.
class CQuestionMode {
public:
    explicit CQuestionMode(int fd) : m_fd(fd) {
        if (tcgetattr(fd, &m_saved) != 0) {
            m_fd = -1;
            return;
        }
        g_restoreSettings = m_saved;
        g_restoreFd = fd;
        struct sigaction action = {};
        action.sa_handler = RestoreAndEnd;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < sizeof kEndSignals / sizeof kEndSignals[0]; ++i) {
            sigaction(kEndSignals[i], nullptr, &m_previous[i]);
            // A signal the caller chose to ignore (nohup) stays ignored.
            if (m_previous[i].sa_handler != SIG_IGN) {
                sigaction(kEndSignals[i], &action, nullptr);
            }
        }
        termios t = m_saved;
        t.c_lflag |= ICANON | ECHO | ECHOE | ECHOK | ISIG | IEXTEN;
        t.c_iflag |= ICRNL;
        t.c_iflag &= ~static_cast<tcflag_t>(INLCR | IGNCR);
        t.c_oflag |= OPOST | ONLCR;
        const struct {
            int index;
            cc_t key;
        } kKeys[] = {{VINTR, 0x03}, {VQUIT, 0x1C}, {VERASE, 0x7F}, {VKILL, 0x15}, {VEOF, 0x04}};
        for (const auto& k : kKeys) {
            if (t.c_cc[k.index] == _POSIX_VDISABLE) {
                t.c_cc[k.index] = k.key;
            }
        }
        tcsetattr(fd, TCSANOW, &t);
        tcflush(fd, TCIFLUSH);
    }
    ~CQuestionMode() {
        if (m_fd < 0) {
            return;
        }
        tcsetattr(m_fd, TCSANOW, &m_saved);
        g_restoreFd = -1;
        for (std::size_t i = 0; i < sizeof kEndSignals / sizeof kEndSignals[0]; ++i) {
            sigaction(kEndSignals[i], &m_previous[i], nullptr);
        }
    }
    CQuestionMode(const CQuestionMode&) = delete;
    CQuestionMode& operator=(const CQuestionMode&) = delete;

private:
    int m_fd;
    termios m_saved{};
    struct sigaction m_previous[sizeof kEndSignals / sizeof kEndSignals[0]] = {};
};

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

bool AskYesNo(int fd, const CTextEncoder& encoder, const std::string& cp932Question,
              ELanguage language) {
    const std::string prompt =
        encoder.Encode(cp932Question + " " + Text::kCliYesNo.In(language) + " ");
    const CQuestionMode mode(fd);
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
