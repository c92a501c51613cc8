#include "lib/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "lib/exceptions.h"

namespace ZRK {
namespace {

TEST(SectionSyncTest, RecursiveAndHeldUntilTheLastUnlock) {
    CSectionSync sync;
    EXPECT_TRUE(sync.Lock(kWaitForever));
    EXPECT_TRUE(sync.Lock(0));  // the holder again, whatever the timeout
    sync.Unlock();
    std::atomic<bool> started{false};
    std::atomic<bool> acquired{false};
    std::thread t([&] {
        started = true;
        EXPECT_TRUE(sync.Lock(0));  // timeout 0 is no try-lock: it waits
        acquired = true;
        sync.Unlock();
    });
    while (!started) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(acquired);  // whatever the scheduling: still held once
    sync.Unlock();
    t.join();
    EXPECT_TRUE(acquired);
}

// Counts the calls that the guard makes.
class CCountingSync : public CSyncBase {
public:
    bool Lock(std::uint32_t nTimeout) override {
        m_nLastTimeout = nTimeout;
        ++m_nLocks;
        return m_bResult;
    }
    void Unlock() override { ++m_nUnlocks; }
    int m_nLocks = 0, m_nUnlocks = 0;
    std::uint32_t m_nLastTimeout = 0;
    bool m_bResult = true;
};

TEST(LockGuardTest, LocksWithoutTimeoutAndUnlocksOnlyWhatItLocked) {
    EXPECT_THROW(CLockGuard guard(static_cast<CSyncBase*>(nullptr)), CNullPointerException);
    CCountingSync sync;
    try {
        CLockGuard guard(sync);
        EXPECT_EQ(sync.m_nLastTimeout, 0xFFFFFFFFu);
        throw std::runtime_error("unwind");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(sync.m_nUnlocks, 1);
    sync.m_bResult = false;  // a failed lock is not released
    { CLockGuard guard(&sync); }
    EXPECT_EQ(sync.m_nLocks, 2);
    EXPECT_EQ(sync.m_nUnlocks, 1);
}

}  // namespace
}  // namespace ZRK
