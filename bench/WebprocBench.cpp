// The HTTP read loop (IsMoreData after every received block) and the table renderer.
#include <benchmark/benchmark.h>

#include <string>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "webproc/HttpProcessor.h"
#include "webproc/TableResult.h"

namespace {

constexpr long kBlock = 10000;

// A response of about mb megabytes of HTML rows, with or without a Content-Length.
std::string Answer(long mb, bool withLength) {
    const std::string line = "<tr><td>some cell text</td><td>12345</td></tr>\r\n";
    std::string body;
    body.reserve(static_cast<size_t>(mb) << 20);
    while (body.size() + line.size() <= (static_cast<size_t>(mb) << 20)) body += line;
    std::string head = "HTTP/1.1 200 OK\r\nServer: bench\r\nContent-Type: text/html\r\n";
    if (withLength) head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return head + "\r\n" + body;
}

// buffer 0: storage for the whole answer taken up front, so the figure is the scan's
// own cost; buffer 1: the studio's response buffer (50000 bytes, grown by 5000), so
// the figure is the whole receive loop. scan 0 appends only, the baseline for scan 1.
void BM_ReadLoop(benchmark::State& state) {
    const std::string answer = Answer(state.range(0), state.range(1) != 0);
    const long size = static_cast<long>(answer.size());
    const bool studioBuffer = state.range(2) != 0;
    const bool scan = state.range(3) != 0;
    for (auto _ : state) {
        HttpProcessor http;
        if (studioBuffer)
            http.m_Message.Alloc(50000, 5000);
        else
            http.m_Message.Alloc(size + 1, 5000);
        long fed = 0;
        while (fed < size) {
            const long n = size - fed < kBlock ? size - fed : kBlock;
            http.m_Message.AddContent(answer.data() + fed, n);
            fed += n;
            if (scan && !http.IsMoreData()) break;
        }
        if (http.m_Message.GetSize() != size) {
            state.SkipWithError("the answer was not read whole");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_ReadLoop)
    ->ArgsProduct({{1, 8, 64}, {1, 0}, {0}, {0, 1}})
    ->ArgsProduct({{1, 8, 64}, {1, 0}, {1}, {1}})
    ->ArgNames({"MB", "length", "studio_buffer", "scan"})
    ->Unit(benchmark::kMillisecond);

void BM_RenderTable(benchmark::State& state) {
    const long rows = state.range(0);
    TableList<TableListItem> list;
    RosterU* t = AddTable(list);
    for (int f = 0; f < 5; ++f) t->CreateField(24);
    for (long r = 0; r < rows; ++r) {
        t->CreateRecord();
        for (int f = 0; f < 5; ++f) {
            const std::string s = "row " + std::to_string(r) + " col " + std::to_string(f);
            const std::u16string u(s.begin(), s.end());
            t->SetField(r, f, u.c_str());
        }
    }
    long out = 0;
    for (auto _ : state) {
        Vessel v;
        f_TableListToHttpResultFromText(list, nullptr, v, "<table>#TABLE(0)</table>");
        out = v.GetSize();
        benchmark::DoNotOptimize(v.GetContent());
    }
    state.SetItemsProcessed(state.iterations() * rows);
    state.SetBytesProcessed(state.iterations() * out);
}
BENCHMARK(BM_RenderTable)->Arg(10000)->Arg(100000)->ArgName("rows")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // Keep freed buffers in the heap: otherwise every iteration maps its 64 MB afresh and
    // the figure is the page faults' cost, not the scan's.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
