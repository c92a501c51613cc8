// The serial calls over the tty port unit on pseudo-terminals, and how a
// port that another process holds is found through /proc. (The switch
// refusing a held port runs end to end, in tests/e2e.)
#include "platform/linux/linux_serial_api.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <chrono>
#include <utility>

#include <gtest/gtest.h>

#include "fake_host.h"
#include "platform/linux/linux_host.h"
#include "platform/linux/proc_holders.h"

using Tolvane::Linux::CLinuxSerialApi;

namespace {

const DWORD kRw = GENERIC_READ | GENERIC_WRITE;

// Port COM5 open on a pseudo-terminal whose master plays the adapter.
class SerialOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        m_handle = m_api.CreateFileA("\\\\.\\COM5", kRw, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(m_handle, INVALID_HANDLE_VALUE) << m_api.GetLastError();
    }

    // 0 for a call that succeeded, else its error.
    DWORD Err(BOOL ok) { return ok ? 0 : m_api.GetLastError(); }

    // Polls the receive queue (the pty moves bytes asynchronously).
    DWORD WaitForInput(DWORD atLeast) {
        COMSTAT stat{};
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (m_api.ClearCommError(m_handle, nullptr, &stat) && stat.cbInQue < atLeast &&
               std::chrono::steady_clock::now() < end) {
            poll(nullptr, 0, 2);
        }
        return stat.cbInQue;
    }

    // The adapter's line, with one change.
    DCB Line(void (*change)(DCB&) = [](DCB&) {}) {
        DCB dcb{};
        EXPECT_TRUE(m_api.GetCommState(m_handle, &dcb));
        dcb.BaudRate = 480000000;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        SetDcbFlagsWord(dcb, DcbFlagsWord(dcb) & 0xFFFFCC03u);  // no flow control, DTR/RTS off
        change(dcb);
        return dcb;
    }

    TempTree m_tree;
    PtyAdapter m_adapter{m_tree, 5};
    Tolvane::Linux::CSystemError m_reasons;
    CLinuxSerialApi m_api{m_reasons, m_tree.Root()};
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

}  // namespace

TEST_F(SerialOnPty, RawLinePurgesAndAnAdapterThatLeftIsNotConnected) {
    DCB dcb = Line();
    ASSERT_TRUE(m_api.SetCommState(m_handle, &dcb)) << m_api.GetLastError();
    char buffer[8] = {};
    DWORD n = 99;
    ASSERT_TRUE(m_api.ReadFile(m_handle, buffer, 5, &n, nullptr));  // nothing there yet
    EXPECT_EQ(n, 0u);
    // What arrives unasked is dropped by a purge; nothing comes back as an echo.
    ASSERT_EQ(write(m_adapter.Master(), "abc", 3), 3);
    ASSERT_EQ(WaitForInput(3), 3u);
    EXPECT_TRUE(m_api.PurgeComm(m_handle, 0x0F));
    EXPECT_EQ(WaitForInput(0), 0u);
    pollfd p{m_adapter.Master(), POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0);
    DWORD status = 0xFFFF;
    EXPECT_TRUE(m_api.GetCommModemStatus(m_handle, &status));  // no modem lines on a pty
    EXPECT_EQ(status, 0u);

    m_adapter.Leave();
    COMSTAT stat{};
    const DWORD errors[] = {Err(m_api.GetCommModemStatus(m_handle, &status)),
                            Err(m_api.ReadFile(m_handle, buffer, 5, &n, nullptr)),
                            Err(m_api.ClearCommError(m_handle, nullptr, &stat)),
                            Err(m_api.WriteFile(m_handle, "x\x01", 2, &n, nullptr))};
    for (DWORD error : errors) {
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    }
    EXPECT_EQ(m_reasons.Text(), m_tree.Path("ttyACM5") + ": Input/output error");
}

TEST_F(SerialOnPty, LineSettingsRoundTripAndUnsupportedOnesAreRefused) {
    DCB dcb = Line([](DCB& d) {
        d.BaudRate = 115200;
        d.ByteSize = 7;
        d.Parity = EVENPARITY;
        d.StopBits = TWOSTOPBITS;
    });
    ASSERT_TRUE(m_api.SetCommState(m_handle, &dcb));
    const std::pair<void (*)(DCB&), DWORD> refused[] = {
        {[](DCB& d) { d.ByteSize = 9; }, ERROR_INVALID_PARAMETER},
        {[](DCB& d) { d.BaudRate = 0; }, ERROR_INVALID_PARAMETER},
        {[](DCB& d) { d.Parity = 5; }, ERROR_INVALID_PARAMETER},
        {[](DCB& d) { d.Parity = 3; }, ERROR_NOT_SUPPORTED},  // mark
        {[](DCB& d) { d.StopBits = ONE5STOPBITS; }, ERROR_NOT_SUPPORTED},
        {[](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }, ERROR_NOT_SUPPORTED},
        {[](DCB& d) { d.fOutxCtsFlow = 1; }, ERROR_NOT_SUPPORTED},
    };
    for (const auto& [change, error] : refused) {
        DCB bad = Line(change);
        EXPECT_EQ(Err(m_api.SetCommState(m_handle, &bad)), error);
    }
    // What the driver holds is read back, and the refusals changed nothing.
    // (A pseudo-terminal keeps 8 bits without parity whatever it is asked.)
    DCB back{};
    ASSERT_TRUE(m_api.GetCommState(m_handle, &back));
    EXPECT_EQ(back.BaudRate, 115200u);
    EXPECT_EQ(back.StopBits, TWOSTOPBITS);
    for (COMMTIMEOUTS waiting : {COMMTIMEOUTS{0, 0, 0, 1, 1000}, {0xFFFFFFFF, 0, 100, 1, 1000}}) {
        EXPECT_EQ(Err(m_api.SetCommTimeouts(m_handle, &waiting)),
                  static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    }
}

TEST_F(SerialOnPty, APortOpensOnceHandlesAreDistinctAndStaleOnesAreRefused) {
    EXPECT_EQ(m_api.CreateFileA("COM5", kRw, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(m_api.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(m_reasons.Text(),
              m_tree.Path("ttyACM5") +
                  (getuid() == 0 ? ": held by another process" : ": Device or resource busy"));
    PtyAdapter other(m_tree, 6);
    const HANDLE second =
        m_api.CreateFileA("COM6", kRw, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(m_reasons.Text(), "");
    EXPECT_NE(second, m_handle);
    EXPECT_TRUE(m_api.CloseHandle(second));
    // Closed, never handed out, or a descriptor passed as a handle.
    DCB dcb{};
    for (HANDLE h : {second, static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE,
                     reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(m_adapter.Master()))}) {
        EXPECT_EQ(Err(m_api.GetCommState(h, &dcb)), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(Err(m_api.CloseHandle(h)), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    // A released port is closed: the adapter's side sees the line hang up.
    const auto hungUp = [this] {
        pollfd p{m_adapter.Master(), 0, 0};
        return poll(&p, 1, 0) > 0 && (p.revents & POLLHUP) != 0;
    };
    EXPECT_FALSE(hungUp());
    EXPECT_TRUE(m_api.CloseHandle(m_handle));
    EXPECT_TRUE(hungUp());
}

TEST(LinuxSerialApi, OpenRefusesWhatIsNotAnAdapterPort) {
    TempTree t;
    t.File("ttyACM7", "not a tty");
    Tolvane::Linux::CSystemError reasons;
    CLinuxSerialApi api(reasons, t.Root());
    const std::tuple<const char*, DWORD, std::string> refused[] = {
        // path, error, the system's reason
        {"\\\\.\\COM6", ERROR_FILE_NOT_FOUND, "ttyACM6: No such file or directory"},
        {"\\\\.\\LPT1", ERROR_FILE_NOT_FOUND, ""},
        {nullptr, ERROR_FILE_NOT_FOUND, ""},
        {"\\\\.\\COM7", ERROR_NOT_SUPPORTED, "ttyACM7: Inappropriate ioctl for device"},
    };
    for (const auto& [path, error, reason] : refused) {
        reasons.Note("", 0);
        EXPECT_EQ(api.CreateFileA(path, kRw, 0, nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(api.GetLastError(), error) << (path ? path : "null");
        EXPECT_EQ(reasons.Text(), reason.empty() ? "" : t.Path(reason));
    }
}

TEST(LinuxSerialApi, ComPathNumbers) {
    const std::pair<const char*, unsigned> good[] = {
        {"COM0", 0}, {"\\\\.\\com12", 12}, {"\\\\.\\COM65535", 65535}};
    unsigned n = 0;
    for (const auto& [path, number] : good) {
        EXPECT_TRUE(Tolvane::Linux::ParseComPath(path, &n) && n == number) << path;
    }
    for (const char* bad : {"\\\\.\\COM65536", "COM05", "COM-1", "COM 1", "COM1 ", "\\\\?\\COM1",
                            "", "\\\\.\\", "\\\\.\\COM", "\\\\.\\COM7x"}) {
        EXPECT_FALSE(Tolvane::Linux::ParseComPath(bad, &n)) << bad;
    }
}

TEST(PortHolder, FoundByDeviceNumberSkippingThisProcessAndWhatCannotBeRead) {
    TempTree t;
    PtyAdapter adapter(t, 5);
    struct stat port {};
    ASSERT_EQ(stat(t.Path("ttyACM5").c_str(), &port), 0);
    // One process entry each: where, what it links to (empty: a plain file),
    // and whether that is another process holding the port. This process is
    // 77 to the proc file system, as in a PID namespace that sees its
    // parent's /proc.
    const std::tuple<std::string, std::string, bool> rows[] = {
        {"4242/fd/3", t.Path("ttyACM5"), true},
        {"4242/fd/1", t.Path("gone"), false},   // a link that cannot be followed
        {"77/fd/3", t.Path("ttyACM5"), false},  // this process
        {std::to_string(getpid()) + "/fd/3", t.Path("ttyACM5"), true},  // not this process here
        {"4242/fd", "", false},  // descriptors that cannot be listed
    };
    for (const auto& [entry, target, holds] : rows) {
        TempTree proc;
        proc.Link("self", "77");
        target.empty() ? proc.File(entry, "") : proc.Link(entry, target);
        EXPECT_EQ(Tolvane::Linux::OtherProcessHolds(proc.Root(), port.st_rdev), holds) << entry;
    }
}

TEST(PortHolder, APortAlreadyExclusiveIsRefusedAndItsFlagStays) {
    // A holder that /proc does not show (another PID namespace; a descriptor
    // of our own here) and that took the port for itself: refused even to
    // root, whom the flag lets in, and the flag stays the holder's.
    TempTree t;
    PtyAdapter adapter(t, 3);
    AddUsbSerial(t, "1-2", "04d8\n", "e6b2\n", {"ttyACM3", "ttyACM4"});
    Tolvane::Linux::CLinuxHost host(t.Root(), t.Root());
    const int other = open(t.Path("ttyACM3").c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(ioctl(other, TIOCEXCL), 0);
    EXPECT_EQ(host.Serial().CreateFileA("COM3", kRw, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(host.Serial().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(host.LastSystemError(),
              t.Path("ttyACM3") +
                  (getuid() == 0 ? ": held by another process" : ": Device or resource busy"));
    int still = 0;
    EXPECT_TRUE(ioctl(other, TIOCGEXCL, &still) == 0 && still != 0);
    ioctl(other, TIOCNXCL);  // a pseudo-terminal keeps it past the close
    close(other);
    const HANDLE port =
        host.Serial().CreateFileA("\\\\.\\COM3", kRw, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port, INVALID_HANDLE_VALUE) << host.Serial().GetLastError();
    EXPECT_TRUE(host.Serial().CloseHandle(port));
}
