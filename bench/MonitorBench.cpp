// A 20 MB trace, from the moment its answer has arrived whole to the trace dialog painted
// at its end: parsing the body into TraceText, building the dialog, putting the text in
// and moving the view to the last lines. The goal is well under one second.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"
#include "studio/resources/MonitorResources.h"
#include "studio/session/ServerSession.h"
#include "studio/windows/Monitor.h"

namespace {

constexpr std::size_t kTraceBytes = 20u << 20;

// Lines as the server's trace writes them: a 25-character time stamp, then the text.
std::string MakeAnswer() {
    std::string body;
    body.reserve(kTraceBytes + 200);
    char line[160];
    for (long i = 0; body.size() < kTraceBytes; ++i) {
        int n =
            std::snprintf(line, sizeof line,
                          "%02ld.01.2024 10:%02ld:%02ld.%03ld  admin GetReqs(%ld) OK, %ld rows\r\n",
                          i % 28 + 1, i / 60 % 60, i % 60, i % 1000, i % 97, i % 1234);
        body.append(line, static_cast<std::size_t>(n));
    }
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

void BM_TraceShown20MB(benchmark::State& state) {
    static const std::string answer = MakeAnswer();
    gui::Window frame = gui::CreateFrame(
        {"Bench", 0, 0, 1200, 800}, [](gui::Window, const gui::Message&) -> long { return 0; });
    gui::ShowFrame(frame);
    gui::ProcessEvents();
    for (auto _ : state) {
        state.PauseTiming();
        Vessel& m = Session.m_Response.m_Message;
        m.Free();
        m.Alloc(static_cast<long>(answer.size()), 5000);
        m.AddContent(answer.data(), static_cast<long>(answer.size()));
        Session.m_ErrorCode = 0;
        TraceKind = 2;
        std::chrono::steady_clock::time_point start;
        double shownAt = 0;
        gui::test::OnDialog(kTraceDialog, [&](gui::Dialog& d) {
            d.Refresh();  // painted, at the end
            shownAt =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (!gui::test::ShowsEnd(d, kIdTraceText)) state.SkipWithError("not at the end");
            d.Press(2);
        });
        state.ResumeTiming();
        start = std::chrono::steady_clock::now();
        if (Session.ParseResponse(kCmdGetTrace) != 0) state.SkipWithError("not parsed");
        qvw::ShowTrace(frame);
        state.PauseTiming();
        state.counters["shown_s"] = shownAt;
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(kTraceBytes));
    gui::DestroyWindow(frame);
    gui::ProcessEvents();
}
BENCHMARK(BM_TraceShown20MB)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    auto app = std::make_unique<gui::Application>(qtArgc, qtArgv);
    gui::test::Enable();  // the dialog closes itself once shown
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    app.reset();
    return 0;
}
