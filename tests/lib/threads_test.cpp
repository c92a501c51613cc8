// Values whose blocks are shared between threads: copies made on one thread
// are read, written and released on others. Under ThreadSanitizer (preset
// tsan) these show that the counts order every access to a shared block.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "lib/collections.h"

namespace ZRK {
namespace {

using WordArray = CSharedArray<std::uint16_t>;

// Another thread reads a copy of value and releases it; then value is
// written here. Only the copy's count orders the two: the flag that says
// "released" is relaxed on purpose.
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

TEST(SharedAcrossThreadsTest, WritesInPlaceOnceTheOtherShareIsGone) {
    const std::vector<void (*)(WordArray&)> writes = {
        [](WordArray& a) { a.Add(9); },
        [](WordArray& a) { a.AddElements(2, nullptr); },
        [](WordArray& a) { a.Set(2, 9); },
    };
    for (auto write : writes) {
        WordArray a;
        a.SetSize(3);  // capacity 7: room to append in place
        const std::uint16_t* storage = a.GetBuffer();
        ReleasedThereThenWrittenHere(
            a, [](const WordArray& c) { EXPECT_EQ(c.GetSize() + c.At(2), 3u); }, write);
        EXPECT_EQ(a.GetBuffer(), storage);
    }
    CTextString s("abc", 10);
    ReleasedThereThenWrittenHere(
        s, [](const CTextString& c) { EXPECT_STREQ(c, "abc"); }, [](CTextString& t) { t += 'd'; });
    EXPECT_STREQ(s, "abcd");
}

struct CCounted {
    explicit CCounted(std::atomic<int>* pDestroyed) : m_pDestroyed(pDestroyed) {}
    ~CCounted() {
        m_nValue = 0;
        ++*m_pDestroyed;
    }
    std::atomic<int>* m_pDestroyed;
    int m_nValue = 42;
};

TEST(SharedAcrossThreadsTest, CopiesWrittenAndReleasedOnManyThreads) {
    std::atomic<int> nDestroyed{0};
    CRefHandle<CCounted> handle(new CCounted(&nDestroyed));
    CTextString text("shared");
    WordArray array;
    array.SetSize(3);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        // The captures are copies made here and released there, maybe last.
        threads.emplace_back([h = handle, s = text, a = array] {
            for (int i = 0; i < 200; ++i) {
                CRefHandle<CCounted> h2 = h;
                CTextString s2 = s;
                WordArray a2 = a;
                s2 += 'x';  // private blocks: the shared ones are never written
                a2.Add(static_cast<std::uint16_t>(h2->m_nValue));
                EXPECT_EQ(s2.GetLength() + a2.GetSize() + s.GetLength() + a.At(0), 7u + 4u + 6u);
            }
        });
    }
    handle.Release();
    text.Empty();
    array.RemoveAll();
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(nDestroyed, 1);
}

}  // namespace
}  // namespace ZRK
