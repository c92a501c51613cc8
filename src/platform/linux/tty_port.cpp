#include "platform/linux/tty_port.h"

// The kernel's termios2 (and only that: its struct termios clashes with the
// C library's <termios.h>), so that any rate is set and read as it is.
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <ctime>

#include "platform/linux/proc_holders.h"

namespace Tolvane {
namespace Linux {

namespace {

constexpr tcflag_t kCharSizes[] = {CS5, CS6, CS7, CS8};

// 0 or the errno of the call, resumed after signals.
template <typename Arg>
int Ioctl(int fd, unsigned long request, Arg arg) {
    int r;
    do {
        r = ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r < 0 ? errno : 0;
}

bool HungUp(int fd) {
    // No events asked for: hang-up, error and an invalid descriptor are
    // reported regardless.
    pollfd p{fd, 0, 0};
    int n;
    do {
        n = poll(&p, 1, 0);
    } while (n < 0 && errno == EINTR);
    return n > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

std::uint64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

// Bytes pass unchanged both ways, modem control lines are ignored, and a
// read takes what is there without waiting.
void MakeRaw(termios2& t) {
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

}  // namespace

CTtyPort::CTtyPort(CTtyPort&& other) noexcept
    : m_fd(other.m_fd), m_exclusive(other.m_exclusive), m_dropped(other.m_dropped) {
    other.m_fd = -1;
}

int CTtyPort::Outcome(int err) const {
    return err != 0 ? err : HungUp(m_fd) ? EIO : 0;
}

int CTtyPort::Open(const std::string& node, const std::string& procRoot) {
    Close();
    do {
        m_fd = open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        return errno;
    }
    // A port that another program took for itself is held, whether or not
    // /proc shows that program (another PID namespace, a container): only
    // root gets this far then, and the flag is the holder's, never ours to
    // clear.
    int held = 0;
    if (Ioctl(m_fd, TIOCGEXCL, &held) == 0 && held != 0) {
        close(m_fd);
        m_fd = -1;
        return kHeldElsewhere;
    }
    // Exclusive first, so that no one comes in while we look for those who
    // came before.
    m_exclusive = Ioctl(m_fd, TIOCEXCL, nullptr) == 0;
    struct stat opened {};
    termios2 t{};
    int err;
    if (fstat(m_fd, &opened) == 0 && S_ISCHR(opened.st_mode) &&
        OtherProcessHolds(procRoot, opened.st_rdev)) {
        err = kHeldElsewhere;
    } else if ((err = Ioctl(m_fd, TCGETS2, &t)) == 0) {
        MakeRaw(t);
        if ((t.c_cflag & CBAUD) == B0) {
            t.c_cflag = (t.c_cflag & ~static_cast<tcflag_t>(CBAUD)) | B9600;
        }
        err = Ioctl(m_fd, TCSETS2, &t);
    }
    if (err != 0) {
        Close();
    }
    return err;
}

void CTtyPort::Close() {
    if (m_fd < 0) {
        return;
    }
    // Best effort: a tty without modem lines or one already gone has
    // nothing to drop.
    if (m_dropped != 0) {
        Ioctl(m_fd, TIOCMBIC, &m_dropped);
    }
    if (m_exclusive) {
        Ioctl(m_fd, TIOCNXCL, nullptr);
    }
    close(m_fd);
    m_fd = -1;
    m_exclusive = false;
    m_dropped = 0;
}

int CTtyPort::SetLine(const TtyLine& line) {
    termios2 t{};
    if (line.dataBits < 5 || line.dataBits > 8) {
        return EINVAL;
    }
    if (const int err = Ioctl(m_fd, TCGETS2, &t)) {
        return err;
    }
    MakeRaw(t);
    // The input speed follows the output speed (CIBAUD 0).
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS |
                                        CBAUD | CIBAUD);
    t.c_cflag |= kCharSizes[line.dataBits - 5] | BOTHER;
    if (line.parity != 'n') {
        t.c_cflag |= PARENB | (line.parity == 'o' ? PARODD : 0);
    }
    if (line.stopBits == 2) {
        t.c_cflag |= CSTOPB;
    }
    t.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    t.c_iflag |= line.checkParity ? INPCK : 0;
    t.c_ispeed = line.rate;
    t.c_ospeed = line.rate;
    return Ioctl(m_fd, TCSETS2, &t);
}

int CTtyPort::GetLine(TtyLine* line) const {
    termios2 t{};
    if (const int err = Ioctl(m_fd, TCGETS2, &t)) {
        return err;
    }
    line->rate = t.c_ospeed;
    line->dataBits = static_cast<unsigned>(
        5 + (std::find(kCharSizes, kCharSizes + 3, t.c_cflag & CSIZE) - kCharSizes));
    line->parity = (t.c_cflag & PARENB) == 0 ? 'n' : (t.c_cflag & PARODD) != 0 ? 'o' : 'e';
    line->checkParity = (t.c_iflag & INPCK) != 0;
    line->stopBits = (t.c_cflag & CSTOPB) != 0 ? 2 : 1;
    return 0;
}

int CTtyPort::SetModemLines(bool dtr, bool rts) {
    int raise = (dtr ? TIOCM_DTR : 0) | (rts ? TIOCM_RTS : 0);
    int drop = (TIOCM_DTR | TIOCM_RTS) & ~raise;
    // ENOTTY: a tty without modem lines (a pseudo-terminal); nothing to set.
    for (const auto& [request, lines] : {std::pair(TIOCMBIS, &raise), std::pair(TIOCMBIC, &drop)}) {
        const int err = *lines != 0 ? Ioctl(m_fd, request, lines) : 0;
        if (err != 0 && err != ENOTTY) {
            return err;
        }
    }
    m_dropped = drop;
    return 0;
}

int CTtyPort::ModemLines(int* lines) const {
    *lines = 0;
    const int err = Ioctl(m_fd, TIOCMGET, lines);
    return Outcome(err == ENOTTY ? 0 : err);
}

int CTtyPort::Flush() {
    return Ioctl(m_fd, TCFLSH, TCIOFLUSH);
}

int CTtyPort::Waiting(std::size_t* count) const {
    int n = 0;
    const int err = Outcome(Ioctl(m_fd, FIONREAD, &n));
    *count = err == 0 && n > 0 ? static_cast<std::size_t>(n) : 0;
    return err;
}

int CTtyPort::Read(void* buffer, std::size_t size, std::size_t* got) {
    *got = 0;
    if (size == 0) {
        return 0;
    }
    ssize_t n;
    do {
        n = ::read(m_fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        *got = static_cast<std::size_t>(n);
        return 0;
    }
    // An empty read is "nothing has arrived" on a live port but end of
    // file on one that was hung up because its device left.
    return Outcome(n < 0 && errno != EAGAIN ? errno : 0);
}

int CTtyPort::Write(const void* data, std::size_t size, std::uint64_t timeoutMs,
                    std::size_t* done) {
    *done = 0;
    const std::uint64_t deadline = NowMs() + timeoutMs;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (*done < size) {
        const ssize_t n = ::write(m_fd, bytes + *done, size - *done);
        if (n > 0) {
            *done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        // The driver's queue is full: wait for room, within the time-out.
        const std::uint64_t now = NowMs();
        if (now >= deadline) {
            return 0;
        }
        pollfd p{m_fd, POLLOUT, 0};
        const int r =
            poll(&p, 1, static_cast<int>(std::min<std::uint64_t>(deadline - now, INT_MAX)));
        if (r < 0 && errno != EINTR) {
            return errno;
        }
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return EIO;
        }
    }
    return 0;
}

}  // namespace Linux
}  // namespace Tolvane
