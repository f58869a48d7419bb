// Vessel::Contains against glibc memmem on the same haystack, and appending in blocks.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "vessel/Vessel.h"

namespace {

// A haystack of HTML-like text with the needle placed near the end (or nowhere).
void Fill(Vessel& v, long size, const char* needle, bool place) {
    std::string line = "<tr><td>some cell text</td><td>12345</td></tr>\r\n";
    v.Alloc(size, 5000);
    while (v.GetSize() + static_cast<long>(line.size()) < size)
        v.AddContent(line.data(), static_cast<long>(line.size()));
    if (place) {
        long n = static_cast<long>(std::strlen(needle));
        v.InsertContent(v.GetSize() - n - 10, needle, n);
    }
}

const char kNeedle[] = "Content-Length: ";

void BM_Contains(benchmark::State& state) {
    Vessel v;
    Fill(v, state.range(0), kNeedle, state.range(1) != 0);
    for (auto _ : state) {
        long pos = 0;
        benchmark::DoNotOptimize(v.Contains(kNeedle, &pos, 0));
        benchmark::DoNotOptimize(pos);
    }
    state.SetBytesProcessed(state.iterations() * v.GetSize());
}

void BM_Memmem(benchmark::State& state) {
    Vessel v;
    Fill(v, state.range(0), kNeedle, state.range(1) != 0);
    const size_t n = std::strlen(kNeedle);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            memmem(v.GetContent(), static_cast<size_t>(v.GetSize()), kNeedle, n));
    }
    state.SetBytesProcessed(state.iterations() * v.GetSize());
}

void BM_CrLfCrLf(benchmark::State& state) {
    // The header-end search: a needle whose first character is common in the text.
    Vessel v;
    Fill(v, state.range(0), "\r\n\r\n", false);
    for (auto _ : state) benchmark::DoNotOptimize(v.Contains("\r\n\r\n"));
    state.SetBytesProcessed(state.iterations() * v.GetSize());
}

void BM_Append(benchmark::State& state) {
    const long total = state.range(0);
    std::string block(10000, 'x');
    for (auto _ : state) {
        Vessel v;
        v.Alloc(5000, 5000);
        for (long done = 0; done < total; done += 10000)
            v.AddContent(block.data(), static_cast<long>(block.size()));
        benchmark::DoNotOptimize(v.GetContent());
    }
    state.SetBytesProcessed(state.iterations() * total);
}

constexpr long kMB = 1024 * 1024;

}  // namespace

BENCHMARK(BM_Contains)
    ->Args({kMB, 1})
    ->Args({kMB, 0})
    ->Args({64 * kMB, 1})
    ->Args({64 * kMB, 0})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memmem)
    ->Args({kMB, 1})
    ->Args({kMB, 0})
    ->Args({64 * kMB, 1})
    ->Args({64 * kMB, 0})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CrLfCrLf)->Arg(kMB)->Arg(64 * kMB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Append)->Arg(8 * kMB)->Arg(16 * kMB)->Arg(32 * kMB)->Arg(64 * kMB)->Unit(
    benchmark::kMillisecond);
BENCHMARK_MAIN();
