#include "platform/linux/linux_serial_api.h"

#include <cerrno>
#include <chrono>
#include <utility>

#include <gtest/gtest.h>

#include "fake_host.h"

using Tolvane::Linux::CLinuxSerialApi;

namespace {

const DWORD kRw = GENERIC_READ | GENERIC_WRITE;

// The serial calls, optionally over a driver that takes standard rates only.
class CTestSerialApi : public CLinuxSerialApi {
public:
    using CLinuxSerialApi::CLinuxSerialApi;
    bool standardRatesOnly = false;

protected:
    int OnSetArbitraryBaudRate(int fd, unsigned rate) override {
        return standardRatesOnly ? EINVAL : CLinuxSerialApi::OnSetArbitraryBaudRate(fd, rate);
    }
};

// Port COM5 open on a pseudo-terminal whose master plays the adapter.
class SerialOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        // Shared, so that a second open needs no superuser rights.
        m_handle = m_api.CreateFileA("\\\\.\\COM5", kRw, 3, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(m_handle, INVALID_HANDLE_VALUE) << m_api.GetLastError();
    }

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

    DCB AdapterLine() {
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
    CTestSerialApi m_api{m_tree.Root()};
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

}  // namespace

TEST_F(SerialOnPty, VersionConversationThenTheAdapterLeaves) {
    DCB dcb = AdapterLine();
    ASSERT_TRUE(m_api.SetCommState(m_handle, &dcb)) << m_api.GetLastError();
    DCB back{};
    ASSERT_TRUE(m_api.GetCommState(m_handle, &back));
    // A kernel without termios2 would refuse the rate and keep the placeholder.
    EXPECT_EQ(back.BaudRate, m_api.RefusedBaudRate(m_handle) == 0 ? 480000000u : 4000000u);

    COMMTIMEOUTS to{0xFFFFFFFF, 0, 0, 1, 1000};
    ASSERT_TRUE(m_api.SetCommTimeouts(m_handle, &to));
    char buffer[16] = {};
    DWORD n = 99;
    ASSERT_TRUE(m_api.ReadFile(m_handle, buffer, 5, &n, nullptr));  // nothing there yet
    EXPECT_EQ(n, 0u);
    ASSERT_TRUE(m_api.WriteFile(m_handle, "v", 1, &n, nullptr));
    EXPECT_EQ(n, 1u);
    m_adapter.AnswerVersionQuery();
    ASSERT_EQ(WaitForInput(5), 5u);
    ASSERT_TRUE(m_api.ReadFile(m_handle, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(std::string(buffer, n), "v0.40");
    // What arrives unasked is dropped by a purge.
    ASSERT_EQ(write(m_adapter.Master(), "abc", 3), 3);
    ASSERT_EQ(WaitForInput(3), 3u);
    EXPECT_TRUE(
        m_api.PurgeComm(m_handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR));
    EXPECT_EQ(WaitForInput(0), 0u);
    EXPECT_FALSE(m_api.PurgeComm(m_handle, 0x10));
    EXPECT_EQ(m_api.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DWORD status = 0xFFFF;
    EXPECT_TRUE(m_api.GetCommModemStatus(m_handle, &status));  // no modem lines on a pty
    EXPECT_EQ(status, 0u);
    // Raw mode: nothing the master sent came back as an echo.
    pollfd p{m_adapter.Master(), POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0);

    m_adapter.Leave();
    EXPECT_FALSE(m_api.GetCommModemStatus(m_handle, &status));
    EXPECT_EQ(m_api.GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_FALSE(m_api.ReadFile(m_handle, buffer, 5, &n, nullptr));
    EXPECT_EQ(m_api.GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    COMSTAT stat{};
    EXPECT_FALSE(m_api.ClearCommError(m_handle, nullptr, &stat));
    EXPECT_FALSE(m_api.WriteFile(m_handle, "x\x01", 2, &n, nullptr));
    EXPECT_EQ(m_api.GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_TRUE(m_api.CloseHandle(m_handle));
}

TEST_F(SerialOnPty, WriteToAPeerThatNeverReadsEndsAtTheTimeOut) {
    COMMTIMEOUTS to{0xFFFFFFFF, 0, 0, 0, 20};
    ASSERT_TRUE(m_api.SetCommTimeouts(m_handle, &to));
    const std::vector<char> block(4 << 20, 'a');
    DWORD written = 0;
    ASSERT_TRUE(m_api.WriteFile(m_handle, block.data(), static_cast<DWORD>(block.size()), &written,
                                nullptr));
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, block.size());
}

TEST_F(SerialOnPty, LineSettingsRoundTripAndUnsupportedOnesAreRefused) {
    DCB dcb = AdapterLine();
    dcb.BaudRate = 115200;
    dcb.ByteSize = 7;
    dcb.Parity = 3;  // mark
    dcb.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(m_api.SetCommState(m_handle, &dcb));
    EXPECT_EQ(m_api.RefusedBaudRate(m_handle), 0u);

    const struct {
        void (*change)(DCB&);
        DWORD error;
    } refused[] = {
        {[](DCB& d) { d.ByteSize = 9; }, ERROR_INVALID_PARAMETER},
        {[](DCB& d) { d.BaudRate = 0; }, ERROR_INVALID_PARAMETER},
        {[](DCB& d) { d.StopBits = ONE5STOPBITS; }, ERROR_INVALID_PARAMETER},  // with 8 bits
        {[](DCB& d) { d.Parity = 5; }, ERROR_INVALID_PARAMETER},
        {[](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }, ERROR_NOT_SUPPORTED},
        {[](DCB& d) { d.fOutxCtsFlow = 1; }, ERROR_NOT_SUPPORTED},  // CTS without RTS handshake
        {[](DCB& d) { d.fOutxDsrFlow = 1; }, ERROR_NOT_SUPPORTED},
    };
    for (std::size_t i = 0; i < std::size(refused); ++i) {
        DCB bad = AdapterLine();
        refused[i].change(bad);
        EXPECT_FALSE(m_api.SetCommState(m_handle, &bad)) << i;
        EXPECT_EQ(m_api.GetLastError(), refused[i].error) << i;
    }
    // What the driver holds is read back, and the refusals changed nothing.
    // A pseudo-terminal keeps 8 bits without parity whatever it is asked.
    DCB back{};
    ASSERT_TRUE(m_api.GetCommState(m_handle, &back));
    EXPECT_EQ(back.BaudRate, 115200u);
    EXPECT_EQ(back.StopBits, TWOSTOPBITS);
    const std::pair<int, int> format{back.ByteSize, back.Parity};
    EXPECT_TRUE(format == std::make_pair(7, 3) || format == std::make_pair(8, 0))
        << format.first << "/" << format.second;

    COMMTIMEOUTS waiting{0, 0, 100, 1, 1000};
    EXPECT_FALSE(m_api.SetCommTimeouts(m_handle, &waiting));
    EXPECT_EQ(m_api.GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

TEST_F(SerialOnPty, HandlesAreDistinctAndStaleOnesAreRefused) {
    const HANDLE second =
        m_api.CreateFileA("COM5", kRw, 3, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_NE(second, m_handle);
    EXPECT_TRUE(m_api.CloseHandle(second));

    // Closed, never handed out, or a descriptor passed as a handle.
    DCB dcb{};
    for (HANDLE h : {second, static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE,
                     reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(m_adapter.Master()))}) {
        EXPECT_FALSE(m_api.GetCommState(h, &dcb));
        EXPECT_EQ(m_api.GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(m_api.CloseHandle(h));
        EXPECT_EQ(m_api.GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

TEST_F(SerialOnPty, RefusedRateIsReportedAndNotFatal) {
    m_api.standardRatesOnly = true;
    DCB dcb = AdapterLine();
    EXPECT_TRUE(m_api.SetCommState(m_handle, &dcb));
    int error = 0;
    EXPECT_EQ(m_api.RefusedBaudRate(m_handle, &error), 480000000u);
    EXPECT_EQ(error, EINVAL);
    ASSERT_TRUE(m_api.GetCommState(m_handle, &dcb));
    EXPECT_EQ(dcb.BaudRate, 4000000u);  // the placeholder, never 0
    dcb.BaudRate = 9600;                // a standard rate clears the report
    EXPECT_TRUE(m_api.SetCommState(m_handle, &dcb));
    EXPECT_EQ(m_api.RefusedBaudRate(m_handle), 0u);
}

TEST(LinuxSerialApi, OpenRefusesWhatIsNotAnAdapterPort) {
    TempTree t;
    t.File("ttyACM7", "not a tty");
    CLinuxSerialApi api(t.Root());
    const struct {
        const char* path;
        DWORD creation;
        DWORD error;
    } refused[] = {
        {"\\\\.\\COM6", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},  // no node
        {"\\\\.\\LPT1", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"\\\\.\\COM7", CREATE_ALWAYS, ERROR_INVALID_PARAMETER},
        {nullptr, OPEN_EXISTING, ERROR_INVALID_PARAMETER},
        {"\\\\.\\COM7", OPEN_EXISTING, ERROR_NOT_SUPPORTED},  // a plain file
    };
    for (const auto& c : refused) {
        EXPECT_EQ(api.CreateFileA(c.path, kRw, 0, nullptr, c.creation, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(api.GetLastError(), c.error) << (c.path ? c.path : "null");
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
