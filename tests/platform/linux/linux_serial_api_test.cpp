// The serial calls over the tty port unit on pseudo-terminals, and how a
// port that another process holds is found through /proc. (The switch
// refusing a held port runs end to end, in tests/e2e.)
#include "platform/linux/linux_serial_api.h"

#include <poll.h>
#include <sys/stat.h>

#include <chrono>
#include <utility>

#include <gtest/gtest.h>

#include "fake_host.h"
#include "platform/linux/linux_host.h"
#include "platform/linux/proc_holders.h"

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

    // The adapter's line, as CSerialPort sets it.
    DCB Line() {
        DCB dcb{};
        EXPECT_TRUE(m_api.GetCommState(m_handle, &dcb));
        dcb.BaudRate = 480000000;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        SetDcbFlagsWord(dcb, DcbFlagsWord(dcb) & 0xFFFFCC03u);  // no flow control, DTR/RTS off
        return dcb;
    }

    TempTree m_tree;
    PtyAdapter m_adapter{m_tree, 5};
    Tolvane::Linux::CLinuxHost m_host{m_tree.Root(), m_tree.Root()};
    ZRK::CSerialApi& m_api = m_host.Serial();
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
    // The line as set is read back (the rate through termios2); a
    // pseudo-terminal keeps 8 bits without parity whatever it is asked.
    dcb.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(m_api.SetCommState(m_handle, &dcb));
    DCB back{};
    ASSERT_TRUE(m_api.GetCommState(m_handle, &back));
    EXPECT_EQ(std::pair(back.BaudRate, back.StopBits), std::pair(480000000u, BYTE{TWOSTOPBITS}));
    dcb.ByteSize = 9;
    EXPECT_EQ(Err(m_api.SetCommState(m_handle, &dcb)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
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
    // The operation closes the port before its message; the reason stays.
    EXPECT_TRUE(m_api.CloseHandle(m_handle));
    EXPECT_EQ(m_host.LastSystemError(), m_tree.Path("ttyACM5") + ": Input/output error");
}

TEST_F(SerialOnPty, APortOpensOnceAndWhatIsNotAnAdapterPortNot) {
    m_tree.File("ttyACM7", "not a tty");
    // COM5 is held by this process, which took it for itself. Root passes
    // that flag and finds it set; anyone else's open fails with EBUSY. The
    // second try shows that the refusal left the holder's flag alone.
    const std::string held = getuid() == 0 ? "held by another process" : "Device or resource busy";
    const std::tuple<const char*, DWORD, std::string> refused[] = {
        // path, error, the system's reason (empty: the system was not asked)
        {"\\\\.\\LPT1", ERROR_FILE_NOT_FOUND, ""},
        {"\\\\.\\COM65536", ERROR_FILE_NOT_FOUND, ""},
        {"COM05", ERROR_FILE_NOT_FOUND, ""},
        {nullptr, ERROR_FILE_NOT_FOUND, ""},
        {"COM5", ERROR_ACCESS_DENIED, "ttyACM5: " + held},
        {"\\\\.\\com5", ERROR_ACCESS_DENIED, "ttyACM5: " + held},
        {"\\\\.\\COM6", ERROR_FILE_NOT_FOUND, "ttyACM6: No such file or directory"},
        {"\\\\.\\COM7", ERROR_NOT_SUPPORTED, "ttyACM7: Inappropriate ioctl for device"},
    };
    for (const auto& [path, error, reason] : refused) {
        EXPECT_EQ(m_api.CreateFileA(path, kRw, 0, nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(m_api.GetLastError(), error) << (path ? path : "null");
        EXPECT_EQ(m_host.LastSystemError(), reason.empty() ? "" : m_tree.Path(reason));
    }
}

TEST_F(SerialOnPty, HandlesAreDistinctAndStaleOnesAreRefused) {
    PtyAdapter other(m_tree, 6);
    const HANDLE second =
        m_api.CreateFileA("COM6", kRw, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_NE(second, m_handle);
    EXPECT_TRUE(m_api.CloseHandle(second));
    // Closed, never handed out, or a descriptor passed as a handle.
    DCB dcb{};
    for (HANDLE h : {second, static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE,
                     reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(m_adapter.Master()))}) {
        EXPECT_EQ(Err(m_api.GetCommState(h, &dcb)), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(Err(m_api.CloseHandle(h)), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    // A released port is closed (the adapter's side sees the line hang up)
    // and no longer held: it opens again.
    const auto hungUp = [this] {
        pollfd p{m_adapter.Master(), 0, 0};
        return poll(&p, 1, 0) > 0 && (p.revents & POLLHUP) != 0;
    };
    EXPECT_FALSE(hungUp());
    EXPECT_TRUE(m_api.CloseHandle(m_handle));
    EXPECT_TRUE(hungUp());
    m_handle = m_api.CreateFileA("COM5", kRw, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(m_handle, INVALID_HANDLE_VALUE) << m_host.LastSystemError();
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
