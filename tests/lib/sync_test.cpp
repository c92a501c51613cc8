// Locks, and blocks shared between threads: copies made on one thread are
// read, written and released on others. Under ThreadSanitizer (preset tsan)
// these show that the counts order every access to a shared block.
#include "lib/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "lib/collections.h"

namespace ZRK {
namespace {

using WordArray = CSharedArray<std::uint16_t>;

TEST(SectionSyncTest, RecursiveAndHeldUntilTheLastUnlock) {
    CSectionSync sync;
    EXPECT_TRUE(sync.Lock(kWaitForever) && sync.Lock(0));  // the holder again: no timeout
    sync.Unlock();
    std::atomic<bool> acquired{false};
    std::thread other([&] {
        EXPECT_TRUE(sync.Lock(0));  // timeout 0 is no try-lock: it waits
        acquired = true;
        sync.Unlock();
    });
    EXPECT_FALSE(acquired);  // whatever the scheduling: still held once
    sync.Unlock();
    other.join();
    EXPECT_TRUE(acquired);
}

// Counts the calls that the guard makes; its Lock succeeds as told.
struct CCountingSync : CSyncBase {
    bool Lock(std::uint32_t nTimeout) override { return m_nTimeout = nTimeout, ++m_nLocks, m_bOk; }
    void Unlock() override { ++m_nUnlocks; }
    std::uint32_t m_nTimeout = 0;
    int m_nLocks = 0;
    int m_nUnlocks = 0;
    bool m_bOk = true;
};

TEST(LockGuardTest, LocksWithoutTimeoutAndUnlocksOnlyWhatItLocked) {
    EXPECT_THROW(CLockGuard guard(static_cast<CSyncBase*>(nullptr)), CNullPointerException);
    CCountingSync sync;
    EXPECT_THROW(
        {
            CLockGuard guard(sync);
            throw std::runtime_error("unwind");
        },
        std::runtime_error);
    EXPECT_EQ(sync.m_nTimeout, kWaitForever);
    EXPECT_EQ(sync.m_nUnlocks, 1);
    sync.m_bOk = false;  // a failed lock is not released
    { CLockGuard guard(&sync); }
    EXPECT_EQ(std::make_pair(sync.m_nLocks, sync.m_nUnlocks), std::make_pair(2, 1));
}

// A copy of value is made here, read and released on another thread; then
// value is written here. Only the copy's count orders the two: the flag
// that tells this thread to go on is relaxed on purpose.
template <typename T, typename Read, typename Write>
void ReleasedThereThenWrittenHere(T& value, Read read, Write write) {
    auto copy = std::make_unique<T>(value);
    std::atomic<bool> released{false};
    std::thread other([&] {
        read(*copy);
        copy.reset();
        released.store(true, std::memory_order_relaxed);
    });
    while (!released.load(std::memory_order_relaxed)) {
        std::this_thread::yield();
    }
    write(value);
    other.join();
}

TEST(SharedAcrossThreadsTest, WrittenHereOnceTheOtherThreadLetGo) {
    // An array with room writes in place, as it holds its buffer alone.
    for (auto write :
         {+[](WordArray& a) { a.Add(9); }, +[](WordArray& a) { a.AddElements(2, nullptr); },
          +[](WordArray& a) { a.Set(2, 9); }}) {
        WordArray a;
        a.SetSize(3);  // capacity 7
        const std::uint16_t* storage = a.GetBuffer();
        ReleasedThereThenWrittenHere(
            a, [](const WordArray& c) { EXPECT_EQ(c.GetSize() + c.At(2), 3u); }, write);
        EXPECT_EQ(a.GetBuffer(), storage);
    }
    CTextString s("abc", 10);
    ReleasedThereThenWrittenHere(
        s, [](const CTextString& c) { EXPECT_STREQ(c, "abc"); }, [](CTextString& t) { t += 'd'; });
    EXPECT_STREQ(s, "abcd");
    // The last release, here, frees what the other thread read.
    CRefHandle<int> h(new int(1));
    ReleasedThereThenWrittenHere(
        h, [](const CRefHandle<int>& c) { EXPECT_EQ(*c, 1); },
        [](CRefHandle<int>& c) { c.Release(); });
}

TEST(SharedAcrossThreadsTest, CopiesWrittenAndReleasedOnOtherThreadsMaybeLast) {
    CRefHandle<int> handle(new int(1));
    CTextString text("shared");
    WordArray array;
    array.SetSize(3);
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        // The copies are made here; writing them makes private blocks.
        threads.emplace_back([h = handle, s = text, a = array]() mutable {
            EXPECT_EQ(*h + (s += 'x').GetLength() + a.Add(1), 1u + 7u + 3u);
        });
    }
    handle.Release();
    text.Empty();
    array.RemoveAll();
    for (std::thread& t : threads) {
        t.join();
    }
}

}  // namespace
}  // namespace ZRK
