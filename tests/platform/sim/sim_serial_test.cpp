#include "platform/sim/sim_serial.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Tolvane::Sim::CSimSerial;
using Tolvane::Sim::CSimSerialDevice;
using Tolvane::Sim::CVirtualClock;
using Tolvane::Sim::SerialCall;
using Bytes = std::vector<std::uint8_t>;

class SimSerialTest : public ::testing::Test {
protected:
    HANDLE Open(const char* path) {
        return sim.CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    DWORD Write(HANDLE file, const Bytes& bytes) {
        DWORD written = 0xDEAD;
        return sim.WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                             nullptr)
                   ? written
                   : 0xFFFFFFFFu;
    }
    Bytes Read(HANDLE file, DWORD count) {
        Bytes buffer(count);
        DWORD read = 0;
        EXPECT_TRUE(sim.ReadFile(file, buffer.data(), count, &read, nullptr));
        buffer.resize(read);
        return buffer;
    }

    CVirtualClock clock;
    CSimSerial sim{clock};
    CSimSerialDevice& com3 = sim.AddDevice("\\\\.\\COM3");
};

TEST_F(SimSerialTest, AccountsForHandlesAndCatchesDoubleCloses) {
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open("\\\\.\\COM4"));
    EXPECT_EQ(2u, sim.GetLastError());
    HANDLE file = Open("\\\\.\\com3");  // names ignore case
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open("\\\\.\\COM3"));  // exclusive
    EXPECT_EQ(5u, sim.GetLastError());
    EXPECT_EQ(1u, sim.OpenHandleCount());
    EXPECT_EQ(1u, com3.OpenHandles());

    EXPECT_TRUE(sim.CloseHandle(file));
    EXPECT_EQ(0u, sim.OpenHandleCount());
    EXPECT_EQ(0u, sim.DoubleCloseCount());
    EXPECT_FALSE(sim.CloseHandle(file));
    EXPECT_EQ(1u, sim.DoubleCloseCount());
    EXPECT_EQ(6u, sim.GetLastError());
    DWORD status = 0;
    EXPECT_FALSE(sim.GetCommModemStatus(file, &status));
    EXPECT_FALSE(sim.GetCommModemStatus(INVALID_HANDLE_VALUE, &status));
    EXPECT_EQ(3u, sim.BadHandleCount());
    EXPECT_EQ(1u, com3.OpenCount());
}

TEST_F(SimSerialTest, ScriptsAnswerWhatTheDeviceAccepts) {
    com3.AddCannedReply({'v'}, {'v', '0', '.', '4', '0'});
    Bytes seen;
    com3.onReceive = [&](const Bytes& block) {
        seen.insert(seen.end(), block.begin(), block.end());
        if (block.back() == 'x') {
            com3.QueueReply({'!'});
        }
    };
    HANDLE file = Open("\\\\.\\COM3");
    EXPECT_EQ(1u, Write(file, {'v'}));
    COMSTAT stat{};
    ASSERT_TRUE(sim.ClearCommError(file, nullptr, &stat));
    EXPECT_EQ(5u, stat.cbInQue);
    EXPECT_EQ((Bytes{'v', '0'}), Read(file, 2));
    EXPECT_EQ((Bytes{'.', '4', '0'}), Read(file, 10));
    EXPECT_TRUE(Read(file, 10).empty());

    com3.SetWriteLimit(1);
    EXPECT_EQ(1u, Write(file, {'x', 'y'}));
    com3.SetWriteLimit(0);
    EXPECT_EQ(0u, Write(file, {'y'}));
    EXPECT_EQ((Bytes{'v', 'x'}), seen);
    EXPECT_EQ(seen, com3.Received());
    EXPECT_EQ((Bytes{'!'}), Read(file, 10));

    com3.QueueReply({1, 2});
    EXPECT_TRUE(sim.PurgeComm(file, PURGE_RXCLEAR));
    EXPECT_EQ(0u, com3.PendingReplyBytes());
    sim.CloseHandle(file);
}

TEST_F(SimSerialTest, FaultsFailTheirCallWithTheirCode) {
    HANDLE file = Open("\\\\.\\COM3");
    com3.FailCall(SerialCall::kWriteFile, ERROR_WRITE_FAULT);
    com3.FailCall(SerialCall::kGetCommState, ERROR_GEN_FAILURE);
    EXPECT_EQ(0xFFFFFFFFu, Write(file, {1}));
    EXPECT_EQ(29u, sim.GetLastError());
    DCB dcb{};
    EXPECT_FALSE(sim.GetCommState(file, &dcb));
    EXPECT_TRUE(sim.SetCommState(file, &dcb));
    EXPECT_EQ(31u, sim.GetLastError());  // a success leaves the last error
    com3.ClearFaults();
    EXPECT_EQ(1u, Write(file, {1}));
    sim.CloseHandle(file);

    com3.FailCall(SerialCall::kCreateFile, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open("\\\\.\\COM3"));
    EXPECT_EQ(32u, sim.GetLastError());
    EXPECT_EQ(0u, sim.OpenHandleCount());
}

TEST_F(SimSerialTest, VanishedDeviceStrandsItsHandlesEvenAfterReturning) {
    HANDLE stale = Open("\\\\.\\COM3");
    com3.QueueReply({1});
    clock.Schedule(300, [&] { com3.SetPresent(false); });
    sim.Sleep(299);
    DWORD status = 0;
    EXPECT_TRUE(sim.GetCommModemStatus(stale, &status));
    sim.Sleep(1);
    EXPECT_EQ(300u, sim.SleptMs());
    EXPECT_FALSE(sim.GetCommModemStatus(stale, &status));
    EXPECT_EQ(0xFFFFFFFFu, Write(stale, {1}));
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open("\\\\.\\COM3"));
    EXPECT_EQ(2u, sim.GetLastError());

    com3.SetPresent(true);
    EXPECT_EQ(0u, com3.PendingReplyBytes());
    HANDLE fresh = Open("\\\\.\\COM3");  // the stale handle does not block it
    ASSERT_NE(INVALID_HANDLE_VALUE, fresh);
    EXPECT_FALSE(sim.GetCommModemStatus(stale, &status));
    EXPECT_EQ(CSimSerialDevice::kVanishedError, sim.GetLastError());
    EXPECT_TRUE(sim.GetCommModemStatus(fresh, &status));
    EXPECT_TRUE(sim.CloseHandle(stale));
    EXPECT_TRUE(sim.CloseHandle(fresh));
    EXPECT_EQ(0u, sim.OpenHandleCount());
}

TEST_F(SimSerialTest, RemovedDeviceLeavesClosableHandles) {
    HANDLE file = Open("\\\\.\\COM3");
    // A script may remove its own device while it runs.
    com3.onReceive = [&](const Bytes&) { sim.RemoveDevice("\\\\.\\COM3"); };
    EXPECT_EQ(1u, Write(file, {1}));
    EXPECT_EQ(nullptr, sim.FindDevice("\\\\.\\COM3"));
    EXPECT_FALSE(sim.RemoveDevice("\\\\.\\COM3"));
    EXPECT_EQ(0xFFFFFFFFu, Write(file, {1}));
    EXPECT_TRUE(sim.CloseHandle(file));
    EXPECT_EQ(0u, sim.OpenHandleCount());
}

}  // namespace
