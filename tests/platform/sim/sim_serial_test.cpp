// The serial double's handle accounting and its devices' comings and goings.
// Opening, exclusive use and failing calls on a vanished port are met (and
// checked) by the serial port's own tests.
#include "platform/sim/sim_serial.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Tolvane::Sim::CSimSerial;
using Tolvane::Sim::CSimSerialDevice;
using Tolvane::Sim::CVirtualClock;

class SimSerialTest : public ::testing::Test {
protected:
    HANDLE Open(const char* path) {
        return sim.CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    bool Alive(HANDLE file) {
        DWORD status = 0;
        return sim.GetCommModemStatus(file, &status) != FALSE;
    }

    CVirtualClock clock;
    CSimSerial sim{clock};
    CSimSerialDevice& com3 = sim.AddDevice("\\\\.\\COM3");
};

TEST_F(SimSerialTest, AccountsForHandlesAndCatchesDoubleCloses) {
    HANDLE file = Open("\\\\.\\com3");  // names ignore case
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open("\\\\.\\COM3"));
    EXPECT_TRUE(Alive(file));
    EXPECT_EQ(5u, sim.GetLastError());  // a success leaves the last error
    EXPECT_TRUE(sim.CloseHandle(file));
    EXPECT_EQ(0u, sim.OpenHandleCount());
    EXPECT_FALSE(sim.CloseHandle(file));
    EXPECT_EQ(1u, sim.DoubleCloseCount());
    EXPECT_FALSE(Alive(file));
    EXPECT_EQ(6u, sim.GetLastError());
    EXPECT_FALSE(Alive(INVALID_HANDLE_VALUE));
    EXPECT_EQ(3u, sim.BadHandleCount());
    EXPECT_EQ(1u, com3.OpenCount());
}

TEST_F(SimSerialTest, VanishedDeviceStrandsItsHandlesEvenAfterReturning) {
    HANDLE stale = Open("\\\\.\\COM3");
    com3.QueueReply({1});
    clock.Schedule(300, [&] { com3.SetPresent(false); });
    sim.Sleep(299);
    EXPECT_TRUE(Alive(stale));
    sim.Sleep(1);
    EXPECT_FALSE(Alive(stale));
    EXPECT_EQ(CSimSerialDevice::kVanishedError, sim.GetLastError());
    com3.SetPresent(true);
    EXPECT_EQ(0u, com3.PendingReplyBytes());
    HANDLE fresh = Open("\\\\.\\COM3");  // the stale handle does not block it
    EXPECT_TRUE(Alive(fresh));
    EXPECT_FALSE(Alive(stale));
    EXPECT_TRUE(sim.CloseHandle(stale));
    EXPECT_TRUE(sim.CloseHandle(fresh));

    // A device removed by its own script leaves a handle that can be closed.
    HANDLE file = Open("\\\\.\\COM3");
    com3.onReceive = [&](const CSimSerialDevice::Bytes&) { sim.RemoveDevice("\\\\.\\COM3"); };
    const std::uint8_t byte = 1;
    DWORD written = 0;
    EXPECT_TRUE(sim.WriteFile(file, &byte, 1, &written, nullptr));
    EXPECT_EQ(nullptr, sim.FindDevice("\\\\.\\COM3"));
    EXPECT_FALSE(sim.WriteFile(file, &byte, 1, &written, nullptr));
    EXPECT_TRUE(sim.CloseHandle(file));
    EXPECT_EQ(0u, sim.OpenHandleCount());
}

}  // namespace
