#include "lib/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "lib/exceptions.h"

namespace ZRK {
namespace {

// Counts Lock/Unlock calls to check the guard's pairing.
class CCountingSync : public CSyncBase {
public:
    bool Lock(std::uint32_t nTimeout) override {
        m_nLastTimeout = nTimeout;
        ++m_nLocks;
        return m_bResult;
    }
    void Unlock() override { ++m_nUnlocks; }

    int m_nLocks = 0;
    int m_nUnlocks = 0;
    std::uint32_t m_nLastTimeout = 0;
    bool m_bResult = true;
};

// True when another thread can take the lock right now; it releases it
// again before returning.
bool OtherThreadAcquires(CSectionSync& sync) {
    std::atomic<bool> acquired{false};
    std::thread t([&] {
        sync.Lock(kWaitForever);
        acquired = true;
        sync.Unlock();
    });
    t.join();
    return acquired;
}

TEST(SectionSyncTest, RecursiveLockIsFreeAfterMatchingUnlocks) {
    CSectionSync sync;
    EXPECT_TRUE(sync.Lock(kWaitForever));
    EXPECT_TRUE(sync.Lock(0));  // timeout 0 on a lock we hold: still true
    sync.Unlock();
    sync.Unlock();
    EXPECT_TRUE(OtherThreadAcquires(sync));
}

TEST(SectionSyncTest, SecondThreadWaitsUntilUnlocked) {
    CSectionSync sync;
    sync.Lock(0);
    std::atomic<bool> started{false};
    std::atomic<bool> acquired{false};
    std::thread t([&] {
        started = true;
        // Timeout 0 is not a try-lock: it waits.
        EXPECT_TRUE(sync.Lock(0));
        acquired = true;
        sync.Unlock();
    });
    while (!started) {
        std::this_thread::yield();
    }
    // Whatever the scheduling, the thread cannot be past Lock yet.
    EXPECT_FALSE(acquired);
    sync.Unlock();
    t.join();
    EXPECT_TRUE(acquired);
}

TEST(LockGuardTest, NullTargetThrowsBeforeLocking) {
    EXPECT_THROW(CLockGuard guard(static_cast<CSyncBase*>(nullptr)), CNullPointerException);
}

TEST(LockGuardTest, LocksForeverAndUnlocksOnceEvenWhenUnwinding) {
    CCountingSync sync;
    try {
        CLockGuard guard(&sync);
        EXPECT_EQ(sync.m_nLocks, 1);
        EXPECT_EQ(sync.m_nLastTimeout, 0xFFFFFFFFu);
        throw std::runtime_error("unwind");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(sync.m_nUnlocks, 1);

    CSectionSync section;
    try {
        CLockGuard guard(section);
        throw std::runtime_error("unwind");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(OtherThreadAcquires(section));
}

TEST(LockGuardTest, FailedLockIsNotUnlocked) {
    CCountingSync sync;
    sync.m_bResult = false;
    { CLockGuard guard(&sync); }
    EXPECT_EQ(sync.m_nLocks, 1);
    EXPECT_EQ(sync.m_nUnlocks, 0);
}

}  // namespace
}  // namespace ZRK
