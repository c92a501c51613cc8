// Foundation library: copies must be O(1) (sharing), and repeated appends
// must stay amortised like the standard containers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "lib/collections.h"
#include "lib/text_string.h"

namespace {

using ZRK::CSharedArray;
using ZRK::CTextString;

CTextString MakeText(std::size_t n) {
    return CTextString(std::string(n, 'x').c_str());
}

CSharedArray<std::uint16_t> MakeWords(std::size_t n) {
    std::vector<std::uint16_t> items(n, 7);
    CSharedArray<std::uint16_t> a;
    a.AddElements(static_cast<std::uint32_t>(n), items.data());
    return a;
}

void BM_CopyTextString(benchmark::State& state) {
    const CTextString source = MakeText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        CTextString copy(source);
        benchmark::DoNotOptimize(copy.GetString());
    }
}
BENCHMARK(BM_CopyTextString)->Arg(10)->Arg(1000000);

void BM_CopySharedArray(benchmark::State& state) {
    const CSharedArray<std::uint16_t> source = MakeWords(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        CSharedArray<std::uint16_t> copy(source);
        benchmark::DoNotOptimize(copy.GetBuffer());
    }
}
BENCHMARK(BM_CopySharedArray)->Arg(10)->Arg(1000000);

// Nanoseconds per copy of source, averaged over a batch.
template <typename T>
double NanosPerCopy(const T& source, int nBatch) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < nBatch; ++i) {
        T copy(source);
        benchmark::DoNotOptimize(&copy);
    }
    const auto stop = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::nano>(stop - start).count() / nBatch;
}

// The cost of copying 1,000,000 elements over the cost of copying 10; with
// sharing it stays near 1. The batches of the four kinds alternate and the
// fastest batch of each counts, so that other load on the machine does not
// skew the ratio.
void BM_CopyRatio(benchmark::State& state) {
    const CTextString smallText = MakeText(10);
    const CTextString largeText = MakeText(1000000);
    const CSharedArray<std::uint16_t> smallArray = MakeWords(10);
    const CSharedArray<std::uint16_t> largeArray = MakeWords(1000000);
    const int nBatch = 2000;
    double textSmall = 1e300;
    double textLarge = 1e300;
    double arraySmall = 1e300;
    double arrayLarge = 1e300;
    for (auto _ : state) {
        textSmall = std::min(textSmall, NanosPerCopy(smallText, nBatch));
        textLarge = std::min(textLarge, NanosPerCopy(largeText, nBatch));
        arraySmall = std::min(arraySmall, NanosPerCopy(smallArray, nBatch));
        arrayLarge = std::min(arrayLarge, NanosPerCopy(largeArray, nBatch));
    }
    state.counters["text_ratio"] = textLarge / textSmall;
    state.counters["array_ratio"] = arrayLarge / arraySmall;
    state.counters["text_10_ns"] = textSmall;
    state.counters["text_1M_ns"] = textLarge;
    state.counters["array_10_ns"] = arraySmall;
    state.counters["array_1M_ns"] = arrayLarge;
}
BENCHMARK(BM_CopyRatio)->Iterations(500);

// 100,000 is the figure of interest; 10,000 shows the per-element cost
// before the growth margin reaches its fixed 1024-element step.

void BM_AppendCharTextString(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        CTextString s;
        for (int i = 0; i < n; ++i) {
            s += static_cast<char>('a' + i % 26);
        }
        benchmark::DoNotOptimize(s.GetString());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_AppendCharTextString)->Arg(10000)->Arg(100000);

void BM_AppendCharStdString(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::string s;
        for (int i = 0; i < n; ++i) {
            s += static_cast<char>('a' + i % 26);
        }
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_AppendCharStdString)->Arg(10000)->Arg(100000);

void BM_AddWordSharedArray(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        CSharedArray<std::uint16_t> a;
        for (int i = 0; i < n; ++i) {
            a.Add(static_cast<std::uint16_t>(i));
        }
        benchmark::DoNotOptimize(a.GetBuffer());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_AddWordSharedArray)->Arg(10000)->Arg(100000);

void BM_AddWordStdVector(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<std::uint16_t> v;
        for (int i = 0; i < n; ++i) {
            v.push_back(static_cast<std::uint16_t>(i));
        }
        benchmark::DoNotOptimize(v.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_AddWordStdVector)->Arg(10000)->Arg(100000);

}  // namespace

BENCHMARK_MAIN();
