#include "platform/linux/linux_serial_api.h"

#include <fcntl.h>
#include <poll.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>

#include "platform/linux/acm_port_finder.h"
#include "platform/linux/linux_baud.h"

namespace Tolvane {
namespace Linux {

namespace {

struct SpeedEntry {
    DWORD rate;
    speed_t code;
};

// Ascending, for the placeholder search.
constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

constexpr BYTE kMarkParity = 3;
constexpr BYTE kSpaceParity = 4;
constexpr DWORD kReadReturnsAtOnce = 0xFFFFFFFF;
constexpr tcflag_t kCharSizes[] = {CS5, CS6, CS7, CS8};

// The standard code for rate, or the largest standard one below it (B50 at
// the least) with *exact false.
speed_t StandardSpeed(DWORD rate, bool* exact) {
    speed_t code = B50;
    *exact = false;
    for (const SpeedEntry& e : kSpeeds) {
        if (e.rate == rate) {
            *exact = true;
            return e.code;
        }
        if (e.rate < rate) {
            code = e.code;
        }
    }
    return code;
}

DWORD RateOfSpeed(speed_t code) {
    for (const SpeedEntry& e : kSpeeds) {
        if (e.code == code) {
            return e.rate;
        }
    }
    return 0;
}

// Bytes pass unchanged both ways, modem control lines are ignored, and a
// read takes what is there without waiting.
void MakeRaw(termios& t) {
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

int Ioctl(int fd, unsigned long request, int* arg) {
    int r;
    do {
        r = ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

}  // namespace

bool ParseComPath(const char* path, unsigned* number) {
    if (path == nullptr) {
        return false;
    }
    std::string s = path;
    if (s.compare(0, 4, "\\\\.\\") == 0) {
        s.erase(0, 4);
    }
    unsigned long n = 0;
    if (s.size() < 4 || strncasecmp(s.c_str(), "COM", 3) != 0 ||
        !ParseDecimal(s.substr(3), 0xFFFF, &n)) {
        return false;
    }
    *number = static_cast<unsigned>(n);
    return true;
}

bool OtherProcessHolds(const std::string& procRoot, dev_t device) {
    // This process as the proc file system names it: in a PID namespace that
    // still sees its parent's /proc, getpid() is another number, and maybe
    // another process's.
    const std::string self = LinkTargetName(procRoot + "/self");
    for (const std::string& pid : ListDirectory(procRoot)) {
        unsigned long number = 0;
        if (pid == self || !ParseDecimal(pid, 0xFFFFFFFFul, &number)) {
            continue;
        }
        const std::string fdDir = procRoot + "/" + pid + "/fd/";
        for (const std::string& fd : ListDirectory(fdDir)) {
            struct statx file {};
            const int r =
                statx(AT_FDCWD, (fdDir + fd).c_str(), AT_STATX_DONT_SYNC, STATX_TYPE, &file);
            if (r == 0 && S_ISCHR(file.stx_mode) &&
                makedev(file.stx_rdev_major, file.stx_rdev_minor) == device) {
                return true;
            }
        }
    }
    return false;
}

CLinuxSerialApi::CLinuxSerialApi(std::string deviceDir, std::string procRoot)
    : m_deviceDir(std::move(deviceDir)), m_procRoot(std::move(procRoot)) {}

CLinuxSerialApi::~CLinuxSerialApi() {
    for (const Port& port : m_ports.TakeAll()) {
        ReleasePort(port);
    }
}

BOOL CLinuxSerialApi::Fail(DWORD code) {
    m_lastError = code;
    return FALSE;
}

BOOL CLinuxSerialApi::FailErrno(int error) {
    return Fail(WinErrorFromErrno(error));
}

CLinuxSerialApi::Port* CLinuxSerialApi::Lookup(HANDLE file) {
    Port* port = m_ports.Find(file);
    if (port == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
    }
    return port;
}

void CLinuxSerialApi::ReleasePort(const Port& port) {
    int lines = 0;
    if (port.dtrControl == DTR_CONTROL_DISABLE) {
        lines |= TIOCM_DTR;
    }
    if (port.rtsControl == RTS_CONTROL_DISABLE) {
        lines |= TIOCM_RTS;
    }
    // Best effort: a tty without modem lines or one already gone has
    // nothing to drop.
    if (lines != 0) {
        Ioctl(port.fd, TIOCMBIC, &lines);
    }
    if (port.exclusive) {
        ioctl(port.fd, TIOCNXCL);
    }
    close(port.fd);
}

HANDLE CLinuxSerialApi::CreateFileA(LPCSTR path, DWORD /*access*/, DWORD shareMode,
                                    void* /*security*/, DWORD creation, DWORD flags,
                                    HANDLE /*templateFile*/) {
    unsigned number = 0;
    if (path == nullptr || creation != OPEN_EXISTING || (flags & FILE_FLAG_OVERLAPPED) != 0) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!ParseComPath(path, &number)) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const std::string node = AcmPortPath(m_deviceDir, number);
    int fd;
    do {
        fd = open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        Fail(errno == EBUSY ? ERROR_ACCESS_DENIED : WinErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    // A port that another program took for itself is held, whether or not
    // /proc shows that program (another PID namespace, a container): only
    // root gets this far then, and the flag is the holder's, never ours to
    // clear.
    int wasExclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &wasExclusive) == 0 && wasExclusive != 0) {
        close(fd);
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // Exclusive first, so that no one comes in while we look for those who
    // came before.
    const bool exclusive = shareMode == 0 && ioctl(fd, TIOCEXCL) == 0;
    const auto giveUp = [&](DWORD code) {
        if (exclusive) {
            ioctl(fd, TIOCNXCL);
        }
        close(fd);
        Fail(code);
        return INVALID_HANDLE_VALUE;
    };
    struct stat opened {};
    if (fstat(fd, &opened) == 0 && S_ISCHR(opened.st_mode) &&
        OtherProcessHolds(m_procRoot, opened.st_rdev)) {
        return giveUp(ERROR_ACCESS_DENIED);
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        return giveUp(errno == ENOTTY || errno == EINVAL ? ERROR_NOT_SUPPORTED
                                                         : WinErrorFromErrno(errno));
    }
    MakeRaw(t);
    if (cfgetospeed(&t) == B0) {
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
    }
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        return giveUp(WinErrorFromErrno(errno));
    }
    Port port{};
    port.fd = fd;
    port.exclusive = exclusive;
    // Opening a tty raises DTR and RTS.
    port.dtrControl = DTR_CONTROL_ENABLE;
    port.rtsControl = RTS_CONTROL_ENABLE;
    port.timeouts = COMMTIMEOUTS{kReadReturnsAtOnce, 0, 0, 0, 0};
    return m_ports.Add(port);
}

BOOL CLinuxSerialApi::GetCommState(HANDLE file, DCB* dcb) {
    Port* port = Lookup(file);
    if (port == nullptr) {
        return FALSE;
    }
    if (dcb == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    termios t{};
    if (tcgetattr(port->fd, &t) != 0) {
        return FailErrno(errno);
    }
    unsigned rate = 0;
    const int e = GetActualBaudRate(port->fd, &rate);
    if (IsDeviceGoneErrno(e)) {
        return FailErrno(e);
    }
    if (e != 0) {
        rate = RateOfSpeed(cfgetospeed(&t));
    }
    DCB d{};
    d.DCBlength = sizeof(DCB);
    d.BaudRate = rate;
    d.fBinary = 1;
    d.fParity = (t.c_iflag & INPCK) != 0;
    const bool handshake = (t.c_cflag & CRTSCTS) != 0;
    d.fOutxCtsFlow = handshake;
    d.fDtrControl = port->dtrControl;
    d.fRtsControl = handshake ? RTS_CONTROL_HANDSHAKE : port->rtsControl;
    d.fOutX = (t.c_iflag & IXON) != 0;
    d.fInX = (t.c_iflag & IXOFF) != 0;
    switch (t.c_cflag & CSIZE) {
        case CS5:
            d.ByteSize = 5;
            break;
        case CS6:
            d.ByteSize = 6;
            break;
        case CS7:
            d.ByteSize = 7;
            break;
        default:
            d.ByteSize = 8;
            break;
    }
    if ((t.c_cflag & PARENB) == 0) {
        d.Parity = NOPARITY;
    } else if ((t.c_cflag & CMSPAR) != 0) {
        d.Parity = (t.c_cflag & PARODD) != 0 ? kMarkParity : kSpaceParity;
    } else {
        d.Parity = (t.c_cflag & PARODD) != 0 ? ODDPARITY : EVENPARITY;
    }
    if ((t.c_cflag & CSTOPB) == 0) {
        d.StopBits = ONESTOPBIT;
    } else {
        d.StopBits = d.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    }
    d.XonChar = static_cast<char>(t.c_cc[VSTART]);
    d.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    *dcb = d;
    return TRUE;
}

BOOL CLinuxSerialApi::SetCommState(HANDLE file, DCB* dcb) {
    Port* port = Lookup(file);
    if (port == nullptr) {
        return FALSE;
    }
    if (dcb == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const DCB d = *dcb;
    const bool stopBitsFit = d.StopBits == ONESTOPBIT ||
                             (d.StopBits == ONE5STOPBITS && d.ByteSize == 5) ||
                             (d.StopBits == TWOSTOPBITS && d.ByteSize != 5);
    const bool softFlow = d.fOutX || d.fInX;
    if (d.BaudRate == 0 || d.ByteSize < 5 || d.ByteSize > 8 || d.Parity > kSpaceParity ||
        !stopBitsFit || d.fDtrControl > DTR_CONTROL_HANDSHAKE ||
        (softFlow && d.XonChar == d.XoffChar)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const bool handshake = d.fRtsControl == RTS_CONTROL_HANDSHAKE;
    if (d.fDtrControl == DTR_CONTROL_HANDSHAKE || d.fRtsControl == RTS_CONTROL_TOGGLE ||
        d.fOutxDsrFlow || d.fDsrSensitivity || (d.fOutxCtsFlow != 0) != handshake) {
        return Fail(ERROR_NOT_SUPPORTED);
    }

    termios t{};
    if (tcgetattr(port->fd, &t) != 0) {
        return FailErrno(errno);
    }
    MakeRaw(t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= kCharSizes[d.ByteSize - 5];
    if (d.Parity != NOPARITY) {
        t.c_cflag |= PARENB;
        if (d.Parity == ODDPARITY || d.Parity == kMarkParity) {
            t.c_cflag |= PARODD;
        }
        if (d.Parity == kMarkParity || d.Parity == kSpaceParity) {
            t.c_cflag |= CMSPAR;
        }
    }
    if (d.StopBits != ONESTOPBIT) {
        t.c_cflag |= CSTOPB;
    }
    if (d.fParity) {
        t.c_iflag |= INPCK;
    } else {
        t.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    }
    if (handshake) {
        t.c_cflag |= CRTSCTS;
    }
    if (d.fOutX) {
        t.c_iflag |= IXON;
    }
    if (d.fInX) {
        t.c_iflag |= IXOFF;
    }
    if (softFlow) {
        t.c_cc[VSTART] = static_cast<cc_t>(d.XonChar);
        t.c_cc[VSTOP] = static_cast<cc_t>(d.XoffChar);
    }
    bool exact = false;
    const speed_t standard = StandardSpeed(d.BaudRate, &exact);
    cfsetispeed(&t, standard);
    cfsetospeed(&t, standard);
    if (tcsetattr(port->fd, TCSANOW, &t) != 0) {
        return FailErrno(errno);
    }

    port->refusedBaud = 0;
    port->refusedErrno = 0;
    if (!exact) {
        const int e = OnSetArbitraryBaudRate(port->fd, d.BaudRate);
        if (IsDeviceGoneErrno(e)) {
            return FailErrno(e);
        }
        if (e != 0) {
            port->refusedBaud = d.BaudRate;
            port->refusedErrno = e;
        }
    }

    int raise = 0;
    int drop = 0;
    (d.fDtrControl == DTR_CONTROL_ENABLE ? raise : drop) |= TIOCM_DTR;
    if (!handshake) {
        (d.fRtsControl == RTS_CONTROL_ENABLE ? raise : drop) |= TIOCM_RTS;
    }
    // ENOTTY: a tty without modem lines (a pseudo-terminal); nothing to set.
    if ((raise != 0 && Ioctl(port->fd, TIOCMBIS, &raise) != 0 && errno != ENOTTY) ||
        (drop != 0 && Ioctl(port->fd, TIOCMBIC, &drop) != 0 && errno != ENOTTY)) {
        return FailErrno(errno);
    }
    port->dtrControl = static_cast<BYTE>(d.fDtrControl);
    port->rtsControl = static_cast<BYTE>(d.fRtsControl);
    return TRUE;
}

BOOL CLinuxSerialApi::GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    Port* port = Lookup(file);
    if (port == nullptr) {
        return FALSE;
    }
    if (timeouts == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    *timeouts = port->timeouts;
    return TRUE;
}

BOOL CLinuxSerialApi::SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    Port* port = Lookup(file);
    if (port == nullptr) {
        return FALSE;
    }
    if (timeouts == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (timeouts->ReadIntervalTimeout != kReadReturnsAtOnce ||
        timeouts->ReadTotalTimeoutMultiplier != 0 || timeouts->ReadTotalTimeoutConstant != 0) {
        return Fail(ERROR_NOT_SUPPORTED);
    }
    port->timeouts = *timeouts;
    return TRUE;
}

BOOL CLinuxSerialApi::SetCommMask(HANDLE file, DWORD mask) {
    Port* port = Lookup(file);
    if (port == nullptr) {
        return FALSE;
    }
    port->eventMask = mask;
    return TRUE;
}

BOOL CLinuxSerialApi::PurgeComm(HANDLE file, DWORD flags) {
    Port* port = Lookup(file);
    if (port == nullptr) {
        return FALSE;
    }
    if ((flags & ~static_cast<DWORD>(0x0F)) != 0) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const bool input = (flags & (PURGE_RXABORT | PURGE_RXCLEAR)) != 0;
    const bool output = (flags & (PURGE_TXABORT | PURGE_TXCLEAR)) != 0;
    if (!input && !output) {
        return TRUE;
    }
    const int queue = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if (tcflush(port->fd, queue) != 0) {
        return FailErrno(errno);
    }
    return TRUE;
}

BOOL CLinuxSerialApi::ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) {
    Port* port = Lookup(file);
    if (port == nullptr) {
        return FALSE;
    }
    int waiting = 0;
    if (Ioctl(port->fd, FIONREAD, &waiting) != 0) {
        return FailErrno(errno);
    }
    if (DescriptorHungUp(port->fd)) {
        return Fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    int queued = 0;
    if (Ioctl(port->fd, TIOCOUTQ, &queued) != 0) {
        queued = 0;
    }
    if (errors != nullptr) {
        *errors = 0;
    }
    if (stat != nullptr) {
        *stat = COMSTAT{};
        stat->cbInQue = waiting > 0 ? static_cast<DWORD>(waiting) : 0;
        stat->cbOutQue = queued > 0 ? static_cast<DWORD>(queued) : 0;
    }
    return TRUE;
}

BOOL CLinuxSerialApi::GetCommModemStatus(HANDLE file, DWORD* status) {
    Port* port = Lookup(file);
    if (port == nullptr) {
        return FALSE;
    }
    if (status == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    int lines = 0;
    if (Ioctl(port->fd, TIOCMGET, &lines) != 0) {
        if (errno != ENOTTY) {
            return FailErrno(errno);
        }
        lines = 0;
    }
    if (DescriptorHungUp(port->fd)) {
        return Fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    DWORD s = 0;
    s |= (lines & TIOCM_CTS) != 0 ? MS_CTS_ON : 0;
    s |= (lines & TIOCM_DSR) != 0 ? MS_DSR_ON : 0;
    s |= (lines & TIOCM_RNG) != 0 ? MS_RING_ON : 0;
    s |= (lines & TIOCM_CAR) != 0 ? MS_RLSD_ON : 0;
    *status = s;
    return TRUE;
}

BOOL CLinuxSerialApi::ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read,
                               void* overlapped) {
    Port* port = Lookup(file);
    if (port == nullptr) {
        return FALSE;
    }
    if (read == nullptr || overlapped != nullptr || (buffer == nullptr && count != 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    *read = 0;
    if (count == 0) {
        return TRUE;
    }
    ssize_t n;
    do {
        n = ::read(port->fd, buffer, count);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        *read = static_cast<DWORD>(n);
        return TRUE;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        return FailErrno(errno);
    }
    // An empty read is "nothing has arrived" on a live port but end of
    // file on one that was hung up because its device left.
    if (DescriptorHungUp(port->fd)) {
        return Fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    return TRUE;
}

BOOL CLinuxSerialApi::WriteFile(HANDLE file, const void* data, DWORD count, DWORD* written,
                                void* overlapped) {
    Port* port = Lookup(file);
    if (port == nullptr) {
        return FALSE;
    }
    if (written == nullptr || overlapped != nullptr || (data == nullptr && count != 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    *written = 0;
    const COMMTIMEOUTS& to = port->timeouts;
    std::uint64_t budget = static_cast<std::uint64_t>(to.WriteTotalTimeoutConstant) +
                           static_cast<std::uint64_t>(to.WriteTotalTimeoutMultiplier) * count;
    if (to.WriteTotalTimeoutConstant == 0 && to.WriteTotalTimeoutMultiplier == 0) {
        budget = kUnboundedWriteLimitMs;
    }
    const std::uint64_t deadline = MonotonicMilliseconds() + budget;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    DWORD done = 0;
    while (done < count) {
        const ssize_t n = ::write(port->fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<DWORD>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            *written = done;
            return FailErrno(errno);
        }
        // The driver's queue is full: wait for room, within the time-out.
        const std::uint64_t now = MonotonicMilliseconds();
        if (now >= deadline) {
            break;
        }
        const std::uint64_t left = deadline - now;
        pollfd p{port->fd, POLLOUT, 0};
        const int r = poll(&p, 1, left > INT_MAX ? INT_MAX : static_cast<int>(left));
        if (r < 0 && errno != EINTR) {
            *written = done;
            return FailErrno(errno);
        }
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            *written = done;
            return Fail(ERROR_DEVICE_NOT_CONNECTED);
        }
    }
    *written = done;
    return TRUE;
}

BOOL CLinuxSerialApi::CloseHandle(HANDLE file) {
    Port port{};
    if (!m_ports.Remove(file, &port)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    ReleasePort(port);
    return TRUE;
}

int CLinuxSerialApi::OnSetArbitraryBaudRate(int fd, unsigned rate) {
    return SetArbitraryBaudRate(fd, rate);
}

void CLinuxSerialApi::Sleep(DWORD milliseconds) {
    SleepMilliseconds(milliseconds);
}

DWORD CLinuxSerialApi::RefusedBaudRate(HANDLE file, int* error) {
    const Port* port = m_ports.Find(file);
    if (error != nullptr) {
        *error = port != nullptr ? port->refusedErrno : 0;
    }
    return port != nullptr ? port->refusedBaud : 0;
}

}  // namespace Linux
}  // namespace Tolvane
