// The library's serial port over the Linux serial calls: the conversation
// of the switch to mass storage, against a pseudo-terminal adapter.
#include <chrono>

#include <gtest/gtest.h>

#include "comm/serial_port.h"
#include "fake_host.h"
#include "platform/linux/linux_serial_api.h"

TEST(SerialPortOnLinux, VersionQueryThenTheAdapterLeaves) {
    TempTree t;
    PtyAdapter adapter(t, 3);
    Tolvane::Linux::CLinuxSerialApi api(t.Root());
    ZRK::CSerialPort port(api);
    ZRK::SerialParameters line;
    line.devicePath = ZRK::CSerialPort::MakeDevicePath(3);
    line.baudRate = 480000000;
    line.byteSize = 8;
    ASSERT_EQ(port.SetParameters(line), 0u);
    ASSERT_TRUE(port.Open()) << api.GetLastError();
    EXPECT_EQ(port.CheckState(), 1);

    ASSERT_EQ(port.Send(1, "v"), 1);
    adapter.AnswerVersionQuery();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (port.GetReceivableSize() < 5 && std::chrono::steady_clock::now() < end) {
        api.Sleep(1);
    }
    char reply[8] = {};
    ASSERT_EQ(port.Receive(5, reply), 5);
    EXPECT_STREQ(reply, "v0.40");
    EXPECT_EQ(port.Receive(5, reply), 0);  // nothing more, and no wait

    adapter.Leave();
    EXPECT_EQ(port.CheckState(), 2);
    EXPECT_EQ(port.Receive(5, reply), -1);
    port.Close();
    EXPECT_FALSE(port.IsOpen());
}
