// Painting one page of a WBrowse over 1,000,000 records costs the same at the top and
// at the end: Paint reaches its records by index, never by walking the list.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "lister/WBrowse.h"
#include "platform/gui/Gui.h"

namespace {

constexpr long kRecords = 1000000;

struct Record {
    char name[21];
    long id;
};
std::vector<Record>* g_Records = nullptr;

class RecordBrowse : public WBrowse {
public:
    RecordBrowse() : WBrowse(1, 0) {}
    int Paint() override {
        gui::Painter* dc = m_BeginPaint();
        dc->SelectFixedFont();
        dc->SetBkColor(gui::RGB(192, 192, 192));
        dc->SetTextColor(gui::RGB(0, 0, 128));
        dc->TextOut(3, 1, "Name                 Id");
        dc->SetTextColor(gui::RGB(0, 0, 0));
        char line[64];
        for (long i = 0; i < m_LinesUsed; ++i) {
            const Record& r = (*g_Records)[static_cast<size_t>(m_Top + i)];
            int n = std::snprintf(line, sizeof line, "%-20.20s %ld", r.name, r.id);
            m_TextOut(dc, static_cast<int>(i), line, n);
        }
        m_PaintCursor(dc);
        m_EndPaint();
        m_SetScrollPos();
        return 0;
    }
};

RecordBrowse* g_Browse = nullptr;
gui::Window g_Child = 0;

long Proc(gui::Window w, const gui::Message& m) {
    switch (m.msg) {
        case gui::Msg::Create:
            g_Browse->Create(w, kRecords);
            break;
        case gui::Msg::Size:
            g_Browse->Size(m.lParam);
            break;
        case gui::Msg::Paint:
            g_Browse->Paint();
            break;
        default:
            break;
    }
    return 0;
}

void PaintPage(benchmark::State& state, long record) {
    g_Browse->GotoRecord(record);
    gui::UpdateNow(g_Child);
    for (auto _ : state) {
        gui::Invalidate(g_Child, nullptr, true);
        gui::UpdateNow(g_Child);
    }
    state.counters["lines"] = static_cast<double>(g_Browse->LinesUsed());
    state.counters["top"] = static_cast<double>(g_Browse->Top());
}

void BM_PaintPageAtTop(benchmark::State& state) {
    PaintPage(state, 1);
}
void BM_PaintPageAtEnd(benchmark::State& state) {
    PaintPage(state, kRecords);
}
BENCHMARK(BM_PaintPageAtTop)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintPageAtEnd)->Unit(benchmark::kMicrosecond);

void BM_LineDownAtBottom(benchmark::State& state) {
    g_Browse->GotoRecord(kRecords / 2);
    gui::UpdateNow(g_Child);
    g_Browse->Keydown(gui::kVkEnd);
    g_Browse->Keydown(gui::kVkHome);
    for (long i = 1; i < g_Browse->PageLines(); ++i) g_Browse->Keydown(gui::kVkDown);
    for (auto _ : state) {
        g_Browse->Keydown(gui::kVkDown);  // scrolls one line, paints one line
        if (g_Browse->GetRecordNumber() >= kRecords) g_Browse->Keydown(gui::kVkHome);
    }
}
BENCHMARK(BM_LineDownAtBottom)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::vector<Record> records(static_cast<size_t>(kRecords));
    for (long i = 0; i < kRecords; ++i) {
        std::snprintf(records[static_cast<size_t>(i)].name, sizeof records[0].name,
                      "application%07ld", i + 1);
        records[static_cast<size_t>(i)].id = i + 1;
    }
    g_Records = &records;
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    auto app = std::make_unique<gui::Application>(qtArgc, qtArgv);
    RecordBrowse browse;
    g_Browse = &browse;
    gui::RegisterClass("BenchClass", &Proc, gui::RGB(192, 192, 192));
    gui::Window frame = gui::CreateFrame(
        {"Bench", 0, 0, 1000, 800}, [](gui::Window, const gui::Message&) -> long { return 0; });
    gui::ShowFrame(frame);
    g_Child = gui::CreateChild(frame, "BenchClass", "Applications", 1, 1, 900, 700);
    gui::ProcessEvents();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gui::DestroyWindow(frame);
    app.reset();
    return 0;
}
