#include "platform/linux/linux_serial_api.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "pty_adapter.h"
#include "temp_tree.h"

using Tolvane::Linux::CLinuxSerialApi;
using Tolvane::Linux::ParseComPath;

namespace {

const DWORD kRw = GENERIC_READ | GENERIC_WRITE;

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
    CLinuxSerialApi m_api{m_tree.Root()};
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

}  // namespace

TEST_F(SerialOnPty, VersionConversationAtTheAdapterLineSettings) {
    DCB dcb = AdapterLine();
    ASSERT_TRUE(m_api.SetCommState(m_handle, &dcb)) << m_api.GetLastError();
    DCB back{};
    ASSERT_TRUE(m_api.GetCommState(m_handle, &back));
    // A pseudo-terminal takes any rate (a kernel without termios2 would
    // report a refusal instead; see RefusedRateIsReportedAndNotFatal).
    if (m_api.RefusedBaudRate(m_handle) == 0) {
        EXPECT_EQ(back.BaudRate, 480000000u);
    } else {
        EXPECT_EQ(back.BaudRate, 4000000u);
    }
    EXPECT_EQ(back.ByteSize, 8);
    EXPECT_EQ(back.Parity, NOPARITY);
    EXPECT_EQ(back.StopBits, ONESTOPBIT);
    EXPECT_EQ(back.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(back.fOutxCtsFlow, 0u);

    COMMTIMEOUTS to{0xFFFFFFFF, 0, 0, 1, 1000};
    ASSERT_TRUE(m_api.SetCommTimeouts(m_handle, &to));
    char buffer[16] = {};
    DWORD got = 99;
    ASSERT_TRUE(m_api.ReadFile(m_handle, buffer, 5, &got, nullptr));  // nothing there yet
    EXPECT_EQ(got, 0u);

    DWORD written = 0;
    ASSERT_TRUE(m_api.WriteFile(m_handle, "v", 1, &written, nullptr));
    EXPECT_EQ(written, 1u);
    m_adapter.AnswerVersionQuery();
    ASSERT_EQ(WaitForInput(5), 5u);
    ASSERT_TRUE(m_api.ReadFile(m_handle, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "v0.40");
    EXPECT_EQ(WaitForInput(0), 0u);

    DWORD status = 0xFFFF;
    EXPECT_TRUE(m_api.GetCommModemStatus(m_handle, &status));  // no modem lines on a pty
    EXPECT_EQ(status, 0u);
    // Raw mode: nothing the master sent came back as an echo.
    pollfd p{m_adapter.Master(), POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0);
    EXPECT_TRUE(m_api.CloseHandle(m_handle));
}

TEST_F(SerialOnPty, AdapterLeavingTheBusIsReportedByEveryCall) {
    m_adapter.Leave();
    DWORD status = 0;
    EXPECT_FALSE(m_api.GetCommModemStatus(m_handle, &status));
    EXPECT_EQ(m_api.GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    char buffer[5];
    DWORD n = 0;
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

TEST_F(SerialOnPty, PurgeDropsWhatHasArrived) {
    ASSERT_EQ(write(m_adapter.Master(), "abc", 3), 3);
    ASSERT_EQ(WaitForInput(3), 3u);
    EXPECT_TRUE(
        m_api.PurgeComm(m_handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR));
    EXPECT_EQ(WaitForInput(0), 0u);
    EXPECT_FALSE(m_api.PurgeComm(m_handle, 0x10));
    EXPECT_EQ(m_api.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(SerialOnPty, LineSettingsRoundTripAndUnsupportedOnesAreRefused) {
    DCB dcb = AdapterLine();
    dcb.BaudRate = 115200;
    dcb.ByteSize = 7;
    dcb.Parity = 3;  // mark
    dcb.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(m_api.SetCommState(m_handle, &dcb));
    DCB back{};
    ASSERT_TRUE(m_api.GetCommState(m_handle, &back));
    EXPECT_EQ(back.BaudRate, 115200u);
    EXPECT_EQ(back.StopBits, TWOSTOPBITS);
    // What the driver holds is read back: a pseudo-terminal keeps 8 bits
    // without parity whatever it is asked for.
    const std::pair<int, int> format{back.ByteSize, back.Parity};
    EXPECT_TRUE(format == std::make_pair(7, 3) || format == std::make_pair(8, 0))
        << format.first << "/" << format.second;
    EXPECT_EQ(m_api.RefusedBaudRate(m_handle), 0u);

    struct Case {
        void (*change)(DCB&);
        DWORD error;
    };
    const Case cases[] = {
        {[](DCB& d) { d.ByteSize = 9; }, ERROR_INVALID_PARAMETER},
        {[](DCB& d) { d.BaudRate = 0; }, ERROR_INVALID_PARAMETER},
        {[](DCB& d) { d.StopBits = ONE5STOPBITS; }, ERROR_INVALID_PARAMETER},  // with 8 bits
        {[](DCB& d) { d.Parity = 5; }, ERROR_INVALID_PARAMETER},
        {[](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }, ERROR_NOT_SUPPORTED},
        {[](DCB& d) { d.fOutxCtsFlow = 1; }, ERROR_NOT_SUPPORTED},  // CTS without RTS handshake
        {[](DCB& d) { d.fOutxDsrFlow = 1; }, ERROR_NOT_SUPPORTED},
    };
    for (const Case& c : cases) {
        DCB bad = AdapterLine();
        c.change(bad);
        EXPECT_FALSE(m_api.SetCommState(m_handle, &bad));
        EXPECT_EQ(m_api.GetLastError(), c.error);
    }
    ASSERT_TRUE(m_api.GetCommState(m_handle, &back));  // the refusals changed nothing
    EXPECT_EQ(back.StopBits, TWOSTOPBITS);
    EXPECT_EQ(back.BaudRate, 115200u);

    COMMTIMEOUTS waiting{0, 0, 100, 1, 1000};
    EXPECT_FALSE(m_api.SetCommTimeouts(m_handle, &waiting));
    EXPECT_EQ(m_api.GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

TEST_F(SerialOnPty, HandlesAreDistinctAndStaleOnesAreRefused) {
    const HANDLE second =
        m_api.CreateFileA("COM5", kRw, 3, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_NE(second, m_handle);
    EXPECT_NE(second, nullptr);
    EXPECT_TRUE(m_api.CloseHandle(second));

    DWORD status = 0;
    DCB dcb{};
    char byte = 0;
    DWORD n = 0;
    for (HANDLE h : {second, static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE,
                     reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(m_adapter.Master()))}) {
        EXPECT_FALSE(m_api.GetCommModemStatus(h, &status));
        EXPECT_EQ(m_api.GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(m_api.GetCommState(h, &dcb));
        EXPECT_FALSE(m_api.ReadFile(h, &byte, 1, &n, nullptr));
        EXPECT_FALSE(m_api.CloseHandle(h));
        EXPECT_EQ(m_api.GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

// A driver that takes standard rates only.
class CStandardRatesOnly : public CLinuxSerialApi {
public:
    using CLinuxSerialApi::CLinuxSerialApi;

protected:
    int OnSetArbitraryBaudRate(int, unsigned) override { return EINVAL; }
};

TEST(LinuxSerialApi, RefusedRateIsReportedAndNotFatal) {
    TempTree t;
    PtyAdapter adapter(t, 1);
    CStandardRatesOnly api(t.Root());
    const HANDLE h = api.CreateFileA("\\\\.\\COM1", kRw, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB dcb{};
    ASSERT_TRUE(api.GetCommState(h, &dcb));
    dcb.BaudRate = 480000000;
    EXPECT_TRUE(api.SetCommState(h, &dcb));
    int error = 0;
    EXPECT_EQ(api.RefusedBaudRate(h, &error), 480000000u);
    EXPECT_EQ(error, EINVAL);
    ASSERT_TRUE(api.GetCommState(h, &dcb));
    EXPECT_EQ(dcb.BaudRate, 4000000u);  // the placeholder, never 0
    dcb.BaudRate = 9600;                // a standard rate clears the report
    EXPECT_TRUE(api.SetCommState(h, &dcb));
    EXPECT_EQ(api.RefusedBaudRate(h), 0u);
    EXPECT_TRUE(api.CloseHandle(h));
}

TEST(LinuxSerialApi, OpenRefusesWhatIsNotAnAdapterPort) {
    TempTree t;
    t.File("ttyACM7", "not a tty");
    CLinuxSerialApi api(t.Root());
    struct Case {
        const char* path;
        DWORD creation;
        DWORD error;
    };
    const Case cases[] = {
        {"\\\\.\\COM6", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},  // no node
        {"\\\\.\\LPT1", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"\\\\.\\COM", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"\\\\.\\COM7x", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"\\\\.\\COM7", CREATE_ALWAYS, ERROR_INVALID_PARAMETER},
        {nullptr, OPEN_EXISTING, ERROR_INVALID_PARAMETER},
        {"\\\\.\\COM7", OPEN_EXISTING, ERROR_NOT_SUPPORTED},  // a plain file
    };
    for (const Case& c : cases) {
        EXPECT_EQ(api.CreateFileA(c.path, kRw, 0, nullptr, c.creation, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(api.GetLastError(), c.error) << (c.path ? c.path : "null");
    }
}

TEST(LinuxSerialApi, ComPathNumbers) {
    unsigned n = 0;
    EXPECT_TRUE(ParseComPath("COM0", &n));
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(ParseComPath("\\\\.\\com12", &n));
    EXPECT_EQ(n, 12u);
    EXPECT_TRUE(ParseComPath("\\\\.\\COM65535", &n));
    EXPECT_EQ(n, 65535u);
    for (const char* bad :
         {"\\\\.\\COM65536", "COM05", "COM-1", "COM 1", "COM1 ", "\\\\?\\COM1", "", "\\\\.\\"}) {
        EXPECT_FALSE(ParseComPath(bad, &n)) << bad;
    }
}
