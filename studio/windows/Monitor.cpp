// The monitor and the trace dialog. Beyond the fields and buttons of the classic monitor
// it refreshes itself on a timer when asked and charts two figures, one point per refresh.
#include "studio/windows/Monitor.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/os/Files.h"
#include "studio/resources/MonitorResources.h"
#include "studio/windows/Columns.h"
#include "studio/windows/ListWindow.h"

namespace qvw {
namespace {

constexpr int kAutoRefreshTimer = 1;
constexpr long kDefaultIntervalS = 5;
constexpr long kMaxIntervalS = 3600;

struct MonitorRun {
    const MonitorTarget& target;
    std::chrono::steady_clock::time_point opened = std::chrono::steady_clock::now();
    // A box or the trace dialog is up: timer ticks wait for the next period.
    bool busy = false;
    // Switches clicked since the last refresh; an automatic refresh leaves them as the
    // administrator set them, so a Save a moment later sends what was chosen.
    bool switchesTouched = false;
    // The trace last read here (1 to 4), the one Clean empties; 0: none yet, and Clean
    // empties every trace.
    long lastRead = 0;
};

// The four traces by kind 1 to 4.
const char* const kTraceNames[] = {"Start", "System", "Application", "Run"};
const char* TraceName(long kind) {
    return kind >= 1 && kind <= 4 ? kTraceNames[kind - 1] : nullptr;
}

// Totals of counts the server sent: a figure too large stays at the largest, it never
// wraps round into a negative total.
long AddCapped(long a, long b) {
    long sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? LONG_MAX : LONG_MIN;
    return sum;
}

void SetNumber(gui::Dialog& d, int id, long v) {
    char text[24];
    std::snprintf(text, sizeof text, "%ld", v);
    d.SetText(id, text);
}

// False when a figure did not come. An automatic refresh whose first fetch failed asks
// no more of the server this time, so a server that is gone costs one box, not two.
bool Refresh(gui::Dialog& d, MonitorRun& run, bool automatic) {
    const int appsRc = Fetch(MonitorAppList, kCmdGetConfigApps);
    if (automatic && appsRc != 0) {
        MonitorAppList.Clear();
        return false;
    }
    d.SetFixedFont(kIdMonApps);
    d.ListClear(kIdMonApps);
    long now = 0, today = 0, month = 0, total = 0;
    const long count = MonitorAppList.Count();
    for (long i = 0; i < count; ++i) {
        std::string line;
        WithRecordAt(MonitorAppList, i, [&](const AppItem& a) {
            now = AddCapped(now, a.m_SessionsNow);
            today = AddCapped(today, a.m_SessionsToday);
            month = AddCapped(month, a.m_SessionsMonth);
            total = AddCapped(total, a.m_SessionsTotal);
            line = MonitorLine(a);
        });
        d.ListAdd(kIdMonApps, line);
    }
    d.ListSelect(kIdMonApps, 0);
    MonitorAppList.Clear();
    const int totalIds[4] = {kIdMonTotalNow, kIdMonTotalToday, kIdMonTotalMonth, kIdMonTotalTotal};
    const long totals[4] = {now, today, month, total};
    for (int i = 0; i < 4; ++i) {
        d.SetFixedFont(totalIds[i]);
        SetNumber(d, totalIds[i], totals[i]);
    }

    const int configRc = Session.Execute(kCmdGetConfig);
    Session.ParseResponse(kCmdGetConfig);
    const ServerConfigRec& c = ServerConfig;
    d.SetText(kIdMonVersion, c.m_Version.view());
    char text[160];
    const int* ip = run.target.ip;
    std::snprintf(text, sizeof text, "%i.%i.%i.%i  [%s]", ip[0], ip[1], ip[2], ip[3],
                  c.m_ServerName.c_str());
    d.SetText(kIdMonAddress, text);
    std::snprintf(text, sizeof text, "%i", run.target.port);
    d.SetText(kIdMonPort, text);
    if (!(automatic && run.switchesTouched)) {
        // Checked only when the text reads as the number 1.
        d.Check(kIdMonJavaReload, std::atol(c.m_JavaReload.c_str()) == 1);
        d.Check(kIdMonSystemTrace, std::atol(c.m_SystemTrace.c_str()) == 1);
        d.Check(kIdMonAppTrace, std::atol(c.m_AppTrace.c_str()) == 1);
        d.Check(kIdMonRunTrace, std::atol(c.m_RunTrace.c_str()) == 1);
        run.switchesTouched = false;
    }
    d.SetText(kIdMonHttp, c.m_HttpSessions.view());
    d.SetText(kIdMonExecuting, c.m_Executing.view());
    d.SetText(kIdMonMemTotal, c.m_MemoryTotal.view());
    d.SetText(kIdMonMemAvailable, c.m_MemoryAvailable.view());
    d.SetText(kIdMonMemUsed, c.m_MemoryUsed.view());
    d.SetText(kIdMonDate, c.m_Date.view());
    d.SetText(kIdMonTime, c.m_Time.view());

    // A point only for a figure that came: a failed fetch is no fall to zero.
    const double at =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - run.opened).count();
    if (appsRc == 0) d.ChartAdd(kIdMonSessionsChart, at, static_cast<double>(now));
    if (configRc == 0)
        d.ChartAdd(kIdMonMemoryChart, at, static_cast<double>(std::atol(c.m_MemoryUsed.c_str())));
    return appsRc == 0 && configRc == 0;
}

// Starts, restarts or stops the auto refresh as its check box and period say.
void ArmTimer(gui::Dialog& d) {
    if (!d.IsChecked(kIdMonAutoRefresh)) {
        d.KillTimer(kAutoRefreshTimer);
        return;
    }
    long seconds = std::atol(d.Text(kIdMonInterval, 4).c_str());
    if (seconds < 1 || seconds > kMaxIntervalS) {
        seconds = kDefaultIntervalS;
        SetNumber(d, kIdMonInterval, seconds);
    }
    d.SetTimer(kAutoRefreshTimer, static_cast<int>(seconds * 1000));
}

void Save(gui::Dialog& d, MonitorRun& run) {
    ServerConfig.m_JavaReload = d.IsChecked(kIdMonJavaReload) ? "1" : "0";
    ServerConfig.m_SystemTrace = d.IsChecked(kIdMonSystemTrace) ? "1" : "0";
    ServerConfig.m_AppTrace = d.IsChecked(kIdMonAppTrace) ? "1" : "0";
    ServerConfig.m_RunTrace = d.IsChecked(kIdMonRunTrace) ? "1" : "0";
    gui::SetWaitCursor();
    const int rc = Session.Execute(kCmdSetConfig);
    Session.ParseResponse(kCmdSetConfig);
    gui::SetArrowCursor();
    if (rc != 0) {
        // Not saved: say so, and keep the switches as set for another try.
        run.busy = true;
        Box(d.Handle(), FailureText());
        run.busy = false;
        run.switchesTouched = true;
        return;
    }
    d.End(1);
}

void ReadTrace(gui::Dialog& d, MonitorRun& run, long kind) {
    TraceKind = kind;
    run.busy = true;
    if (Session.Execute(kCmdGetTrace) != 0) {
        Box(d.Handle(), FailureText());
    } else if (Session.ParseResponse(kCmdGetTrace) != 0) {
        TraceText.Free();
        Box(d.Handle(), "The trace arrived incomplete!");
    } else {
        run.lastRead = kind;
        ShowTrace(d.Handle());
    }
    run.busy = false;
}

// A trace cleaned is gone: the question names it first.
bool AskClean(gui::Dialog& d, MonitorRun& run) {
    const char* name = TraceName(run.lastRead);
    const std::string question =
        name ? std::string("Clean the ") + name + " trace?" : std::string("Clean all traces?");
    run.busy = true;
    const int answer = gui::DialogBox(
        d.Handle(), kCleanTraceDialog,
        OkCancelProc([&question](gui::Dialog& q) { q.SetText(kIdCleanQuestion, question); },
                     [](gui::Dialog& q) { q.End(1); }));
    run.busy = false;
    return answer == 1;
}

void Clean(gui::Dialog& d, MonitorRun& run) {
    if (!AskClean(d, run)) return;
    TraceKind = run.lastRead;
    const int rc = Session.Execute(kCmdCleanTrace);
    Session.ParseResponse(kCmdCleanTrace);
    if (rc != 0) {
        run.busy = true;
        Box(d.Handle(), FailureText());
        run.busy = false;
    }
}

bool MonitorProc(gui::Dialog& d, const gui::DialogEvent& e, MonitorRun& run) {
    if (e.kind == gui::DialogEventKind::Init) {
        char title[200];
        const int* ip = run.target.ip;
        std::snprintf(title, sizeof title, "Monitor - %s [%i.%i.%i.%i:%i]",
                      run.target.profile.c_str(), ip[0], ip[1], ip[2], ip[3], run.target.port);
        d.SetTitle(title);
        d.SetFixedFont(kIdMonHeading1);
        d.SetFixedFont(kIdMonHeading2);
        d.AddAccelerator(gui::kVkF5, false, kIdMonRefresh);
        run.busy = true;
        Refresh(d, run, false);
        run.busy = false;
        return true;
    }
    if (e.kind == gui::DialogEventKind::Timer) {
        if (e.id != kAutoRefreshTimer || run.busy) return true;
        run.busy = true;
        const bool ok = Refresh(d, run, true);
        if (!ok && !d.Ended()) {
            // A failed refresh stops the timer and says why once: a server that stopped
            // answering would otherwise be asked again every period, emptying the list.
            d.Check(kIdMonAutoRefresh, false);
            d.KillTimer(kAutoRefreshTimer);
            Box(d.Handle(), "Auto refresh stopped: " + FailureText());
        }
        run.busy = false;
        if (d.Ended()) return true;
        // The period counts from the end of this refresh, and follows the field.
        ArmTimer(d);
        return true;
    }
    switch (e.id) {
        case kIdMonRefresh:
            run.busy = true;
            Refresh(d, run, false);
            run.busy = false;
            return true;
        case kIdMonSave:
            Save(d, run);
            return true;
        case kIdMonStart:
        case kIdMonSystem:
        case kIdMonApplication:
        case kIdMonRun:
            ReadTrace(d, run, e.id - kIdMonStart + 1);
            return true;
        case kIdMonClean:
            Clean(d, run);
            return true;
        case kIdMonJavaReload:
        case kIdMonSystemTrace:
        case kIdMonAppTrace:
        case kIdMonRunTrace:
            run.switchesTouched = true;
            return true;
        case kIdMonAutoRefresh:
            ArmTimer(d);
            return true;
        case 2:
            d.End(2);
            return true;
        default:
            return false;
    }
}

// ---- the trace dialog

void SaveTraceAs(gui::Dialog& d) {
    gui::FileDialogSpec spec;
    spec.filterName = "Trace Files (*.trc)";
    spec.pattern = "*.trc";
    spec.folder = TheHost().upDownDir ? TheHost().upDownDir() : std::string();
    spec.fileName = std::string(TraceName(TraceKind) ? TraceName(TraceKind) : "Trace") + ".trc";
    std::string path;
    if (!gui::GetSaveFileName(d.Handle(), spec, path)) return;
    const char* bytes = TraceText.GetContent();
    const std::size_t size = bytes ? static_cast<std::size_t>(TraceText.GetSize()) : 0;
    if (os::ReplaceFile(path.c_str(), bytes ? bytes : "", size) != 0)
        Box(d.Handle(), "Cannot write " + path + "!");
}

void FindNext(gui::Dialog& d) {
    const std::string what = d.Text(kIdTraceFind, 200);
    if (what.empty()) {
        d.SetFocus(kIdTraceFind);
        return;
    }
    if (!d.FindNext(kIdTraceText, what)) Box(d.Handle(), "\"" + what + "\" not found.");
}

bool TraceProc(gui::Dialog& d, const gui::DialogEvent& e) {
    if (e.kind == gui::DialogEventKind::Init) {
        d.SetFixedFont(kIdTraceText);
        d.SetTitle(TraceTitle(TraceKind));
        const char* text = TraceText.GetContent();
        d.SetText(kIdTraceText,
                  text ? std::string_view(text, static_cast<std::size_t>(TraceText.GetSize()))
                       : std::string_view());
        // The newest lines are at the end.
        d.ShowEnd(kIdTraceText);
        d.SetFocus(kIdTraceText);
        d.AddAccelerator(gui::kVkF, true, kIdTraceFocusFind);
        d.AddAccelerator(gui::kVkF3, false, kIdTraceFindNext);
        return true;
    }
    if (e.kind != gui::DialogEventKind::Command) return false;
    switch (e.id) {
        case 1:
        case 2:
            TraceText.Free();
            d.End(e.id);
            return true;
        case kIdTraceFocusFind:
            d.SetFocus(kIdTraceFind);
            return true;
        case kIdTraceFindNext:
            FindNext(d);
            return true;
        case kIdTraceSaveAs:
            SaveTraceAs(d);
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string MonitorLine(const AppItem& a) {
    return FormatColumns("%-20s %-43s %-6s %-6s %-6s %-9s",
                         {a.m_Name.view(), a.m_Description.view(), std::to_string(a.m_SessionsNow),
                          std::to_string(a.m_SessionsToday), std::to_string(a.m_SessionsMonth),
                          std::to_string(a.m_SessionsTotal)});
}

std::string TraceTitle(long kind) {
    return std::string("Trace: ") + (TraceName(kind) ? TraceName(kind) : "???");
}

void ShowTrace(gui::Window owner) {
    RegisterMonitorResources();
    gui::DialogBox(owner, kTraceDialog, TraceProc);
    // However the dialog ended, the trace does not outlive it.
    TraceText.Free();
}

int RunMonitor(gui::Window owner, const MonitorTarget& target) {
    RegisterMonitorResources();
    MonitorRun run{target};
    return gui::DialogBox(owner, kMonitorDialog, [&run](gui::Dialog& d, const gui::DialogEvent& e) {
        return MonitorProc(d, e, run);
    });
}

}  // namespace qvw
