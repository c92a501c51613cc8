#include "comm/serial_port.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "platform/sim/sim_serial.h"

namespace {

using Tolvane::Sim::CSimSerial;
using Tolvane::Sim::CSimSerialDevice;
using Tolvane::Sim::CVirtualClock;
using C = Tolvane::Sim::SerialCall;
using ZRK::CSerialPort;
using Bytes = std::vector<std::uint8_t>;
using DWords = std::vector<DWORD>;

// A port whose fixed modes can be switched and whose hooks can misbehave.
class CTestPort : public CSerialPort {
public:
    using CSerialPort::checkCts;
    using CSerialPort::CSerialPort;
    using CSerialPort::sendWholeBlock;
    bool refuseSettings = false;
    DWORD overclaim = 0;  // added to every count the driver reports

protected:
    bool OnApplySettings(HANDLE, DCB&, COMMTIMEOUTS&) override { return !refuseSettings; }
    bool WriteDevice(DWORD& written, DWORD count, const void* data, HANDLE file) override {
        return CSerialPort::WriteDevice(written, count, data, file) && (written += overclaim, true);
    }
    bool ReadDevice(DWORD& read, void* buffer, DWORD count, HANDLE file) override {
        return CSerialPort::ReadDevice(read, buffer, count, file) && (read += overclaim, true);
    }
};

DWords Line(const DCB& dcb) {
    return {dcb.BaudRate, dcb.ByteSize, dcb.Parity, dcb.StopBits, DcbFlagsWord(dcb)};
}

class SerialPortTest : public ::testing::Test {
protected:
    // Whatever a test did, closing leaves no handle open, and no call ever
    // reached the driver with a handle it did not give out.
    void TearDown() override {
        port.Close();
        EXPECT_EQ(0u, sim.OpenHandleCount());
        EXPECT_EQ(0u, sim.BadHandleCount());
    }
    DWORD Configure(const char* path = "\\\\.\\COM3") {
        return port.SetParameters({path, 480000000, 8, 0, 0});
    }
    void OpenCom3() {
        ASSERT_EQ(0u, Configure());
        ASSERT_TRUE(port.Open());
    }
    const char* Name() { return port.GetDescriptor()->typeName; }
    DWORD Id() { return port.GetDescriptor()->identifier; }

    CVirtualClock clock;
    CSimSerial sim{clock};
    CSimSerialDevice& com3 = sim.AddDevice("\\\\.\\COM3");
    CTestPort port{sim};
};

// Opening and closing ----------------------------------------------------

// How the device is opened and the line set up, the adapter's port shows
// in the mode tests; here the order of the calls and the naming.
TEST_F(SerialPortTest, OpensPurgedWithoutEventsAndNamesTheDescriptor) {
    com3.QueueReply({'o', 'l', 'd'});  // left in the driver from before
    OpenCom3();
    EXPECT_STREQ("RS232C(\\\\.\\COM3)", Name());
    EXPECT_EQ(0x01000003u, Id());
    EXPECT_EQ((std::vector<C>{C::kCreateFile, C::kPurgeComm, C::kGetCommState, C::kGetCommTimeouts,
                              C::kSetCommState, C::kSetCommTimeouts, C::kClearCommError,
                              C::kSetCommMask, C::kPurgeComm}),
              com3.CallLog());
    EXPECT_EQ(0u, com3.EventMask());
    EXPECT_EQ(0, port.GetReceivableSize());
    EXPECT_EQ(5u, port.OpenPort()) << "a second open keeps the first handle";
    EXPECT_EQ(1u, sim.OpenHandleCount());
}

TEST_F(SerialPortTest, UntilAnOpenSucceedsEveryCallFailsAndNothingIsLeftOpen) {
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(87u, port.OpenPort());  // no path yet
    ASSERT_EQ(0u, Configure("\\\\.\\COM9"));
    EXPECT_EQ((std::vector<int>{port.Send(1, buffer), port.Receive(1, buffer),
                                port.GetReceivableSize(), port.CheckState()}),
              (std::vector<int>{-1, -1, -1, 2}));
    EXPECT_FALSE(port.Purge());
    port.Close();
    EXPECT_EQ(2u, port.OpenPort());
    EXPECT_FALSE(port.Open());
    ASSERT_EQ(0u, Configure());
    port.refuseSettings = true;
    EXPECT_EQ(21u, port.OpenPort());
    EXPECT_TRUE(com3.StatesSet().empty());
    port.refuseSettings = false;
    for (C call : {C::kGetCommState, C::kGetCommTimeouts, C::kSetCommState, C::kSetCommTimeouts}) {
        com3.FailCall(call, ERROR_GEN_FAILURE);
        EXPECT_EQ(31u, port.OpenPort()) << static_cast<int>(call);
        com3.FailCall(call, 0);
    }
    EXPECT_STREQ("RS232C", Name());  // renamed only by a successful Open
}

TEST_F(SerialPortTest, CloseDropsDtrAndRtsBeforeReleasingTheHandle) {
    OpenCom3();
    DCB raised = com3.Dcb();
    SetDcbFlagsWord(raised, 0xFFFFFFFFu);
    com3.SetDcb(raised);
    EXPECT_EQ(1, port.CheckState());
    EXPECT_TRUE(port.IsConnected());
    port.Close();
    EXPECT_EQ((std::vector<C>{C::kGetCommState, C::kSetCommState, C::kCloseHandle}),
              std::vector<C>(com3.CallLog().end() - 3, com3.CallLog().end()));
    EXPECT_EQ(0xFFFFCFCFu, DcbFlagsWord(com3.StatesSet().back()));
    EXPECT_FALSE(port.IsOpen() || port.IsConnected());
}

// Line settings -----------------------------------------------------------

TEST_F(SerialPortTest, SettingsClearFlowControlBitForBitAndKeepTheRest) {
    DCB reported = com3.Dcb();
    SetDcbFlagsWord(reported, 0xFFFFFFFFu);
    reported.XonLim = 1234;
    com3.SetDcb(reported);
    com3.SetTimeouts({7, 7, 7, 7, 7});
    OpenCom3();
    // fParity stays off without parity; the rest as the driver reported it.
    EXPECT_EQ((DWords{480000000u, 8, 0, 0, 0xFFFFCC01u}), Line(com3.StatesSet().back()));
    EXPECT_EQ(1234, com3.StatesSet().back().XonLim);
    const COMMTIMEOUTS& t = com3.Timeouts();
    EXPECT_EQ(
        (DWords{0xFFFFFFFFu, 0, 0, 1, 1000}),
        (DWords{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant}));
    // Only low bytes reach the line; any parity value turns checking on.
    EXPECT_EQ(0u, port.SetParameters({"\\\\.\\COM3", 115200, 0x107, 0x102, 0x101}));
    EXPECT_EQ((DWords{115200, 7, 2, 1, 0xFFFFCC03u}), Line(com3.StatesSet().back()));
}

TEST_F(SerialPortTest, SetParametersStoresAppliesOrClosesByPortNumber) {
    // A first path is taken even without a digit (number -1, like no path).
    sim.AddDevice("\\\\.\\SERIAL");
    ASSERT_EQ(0u, Configure("\\\\.\\SERIAL"));
    ASSERT_TRUE(port.Open());
    EXPECT_STREQ("RS232C(-1)", Name());
    EXPECT_EQ(0x0100FFFFu, Id());
    // Another number closes the port and takes the new path; while closed
    // the settings are only stored.
    EXPECT_EQ(0u, Configure());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(com3.CallLog().empty());
    ASSERT_TRUE(port.Open());
    // Same number, other prefix: applied at once, the path stays.
    EXPECT_EQ(0u, port.SetParameters({"COM3", 19200, 8, 0, 0}));
    EXPECT_EQ(19200u, com3.Dcb().BaudRate);
    EXPECT_STREQ("\\\\.\\COM3", port.GetDevicePath());
    com3.FailCall(C::kSetCommTimeouts, ERROR_IO_DEVICE);
    EXPECT_EQ(1117u, port.SetParameters({"COM3", 19200, 8, 0, 0}));
    EXPECT_TRUE(port.IsOpen());
}

TEST(SerialPortNaming, DevicePathsAndPortNumbers) {
    EXPECT_STREQ("\\\\.\\COM12", CSerialPort::MakeDevicePath(12));
    EXPECT_EQ((std::vector<int>{7, -1, -1, INT_MAX}),
              (std::vector<int>{CSerialPort::PortNumberOf("A-7B9"), CSerialPort::PortNumberOf(""),
                                CSerialPort::PortNumberOf(nullptr),
                                CSerialPort::PortNumberOf("COM99999999999999999999")}));
    EXPECT_STREQ("A-", CSerialPort::PrefixOf("A-7B9"));
    EXPECT_STREQ("", CSerialPort::PrefixOf("COM"));
}

// Sending and receiving ---------------------------------------------------

TEST_F(SerialPortTest, WholeBlockSendContinuesShortWritesAndStopsOnZeroOrFailure) {
    OpenCom3();
    const Bytes data{1, 2, 3, 4, 5};
    EXPECT_EQ(-1, port.Send(-1, data.data()));
    EXPECT_EQ(-1, port.Send(5, nullptr));
    com3.SetWriteLimit(2);
    EXPECT_EQ(5, port.Send(5, data.data()));
    EXPECT_EQ(data, com3.Received());
    com3.onReceive = [&](const Bytes&) { com3.SetWriteLimit(0); };
    EXPECT_EQ(2, port.Send(5, data.data()));  // the count so far
    com3.FailCall(C::kWriteFile, ERROR_WRITE_FAULT);
    EXPECT_EQ(-1, port.Send(5, data.data()));
    com3.ClearFaults();
    port.overclaim = 100;  // believed only up to what was given
    EXPECT_EQ(5, port.Send(5, data.data()));
    port.sendWholeBlock = false;
    EXPECT_EQ(5, port.Send(5, data.data()));
}

TEST_F(SerialPortTest, ByteByByteSendRetriesTenTimesWithOneMillisecondPauses) {
    OpenCom3();
    port.sendWholeBlock = false;
    const Bytes data{0x78, 0xB6};
    EXPECT_EQ(0, port.Send(0, nullptr));
    EXPECT_EQ(2, port.Send(2, data.data()));
    EXPECT_EQ(data, com3.Received());
    EXPECT_EQ(0u, clock.Now());  // no pause after a byte that was taken
    com3.SetWriteLimit(0);
    EXPECT_EQ(-1, port.Send(2, data.data()));
    EXPECT_EQ(12u, com3.CallCount(C::kWriteFile));
    EXPECT_EQ(10u, clock.Now());
    // A device that recovers after three pauses takes the byte on attempt 4.
    clock.Schedule(3, [&] { com3.SetWriteLimit(CSimSerialDevice::kUnlimited); });
    EXPECT_EQ(1, port.Send(1, data.data()));
    EXPECT_EQ(13u, clock.Now());
    EXPECT_EQ(16u, com3.CallCount(C::kWriteFile));
}

TEST_F(SerialPortTest, ReceiveTakesOnlyWhatHasArrivedAndNeverMoreThanAsked) {
    OpenCom3();
    std::uint8_t buffer[8];
    EXPECT_EQ(0, port.Receive(5, buffer));
    EXPECT_EQ(0u, com3.CallCount(C::kReadFile));
    com3.QueueReply({'v', '0', '.'});
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(3, port.Receive(5, buffer));
    EXPECT_EQ(0, std::memcmp(buffer, "v0.\xEE", 4));
    com3.QueueReply({'v', '0', '.', '4', '0', 'x', 'y'});
    EXPECT_EQ(7, port.GetReceivableSize());
    std::memset(buffer, 0xEE, sizeof buffer);
    port.overclaim = 50;
    EXPECT_EQ(5, port.Receive(5, buffer));
    EXPECT_EQ(0, std::memcmp(buffer, "v0.40\xEE", 6));
    EXPECT_EQ(2, port.GetReceivableSize());
    EXPECT_EQ(-1, port.Receive(-1, buffer));
    EXPECT_EQ(-1, port.Receive(1, nullptr));
    com3.FailCall(C::kReadFile, ERROR_READ_FAULT);
    EXPECT_EQ(-1, port.Receive(5, buffer));
    com3.FailCall(C::kClearCommError, ERROR_GEN_FAILURE);
    EXPECT_EQ(-1, port.Receive(5, buffer));
    EXPECT_EQ(-1, port.GetReceivableSize());
}

// State -------------------------------------------------------------------

TEST_F(SerialPortTest, StateFollowsTheModemStatusAndTheDevicesPresence) {
    OpenCom3();
    com3.SetModemStatus(0);
    EXPECT_EQ(1, port.CheckState());  // CTS not looked at
    port.checkCts = true;
    EXPECT_EQ(0, port.CheckState());
    EXPECT_FALSE(port.IsConnected());
    com3.SetModemStatus(MS_CTS_ON);
    EXPECT_EQ(1, port.CheckState());
    com3.FailCall(C::kGetCommModemStatus, ERROR_GEN_FAILURE);
    EXPECT_EQ(2, port.CheckState());
    com3.ClearFaults();
    // A device that leaves the bus between calls makes the port unusable.
    clock.Schedule(300, [&] { com3.SetPresent(false); });
    std::uint8_t byte = 'v';
    EXPECT_EQ(1, port.Send(1, &byte));
    sim.Sleep(1000);
    const auto statesSet = com3.StatesSet().size();
    EXPECT_EQ((std::vector<int>{port.CheckState(), port.Send(1, &byte), port.Receive(1, &byte)}),
              (std::vector<int>{2, -1, -1}));
    port.Close();
    EXPECT_EQ(statesSet, com3.StatesSet().size());  // no line to drop on a gone device
    EXPECT_EQ(2u, port.OpenPort());
}

}  // namespace
