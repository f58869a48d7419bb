// The monitor and the trace dialog. The application lines and their headings are in the
// fixed-pitch font, so the headings are text lines of their own laid out in columns.
#include "studio/resources/MonitorResources.h"

#include "platform/gui/Templates.h"

namespace {

using gui::ControlKind;
using gui::DialogTemplate;
constexpr unsigned kRO = gui::kReadOnly;
constexpr unsigned kRight = gui::kAlignRight;

const DialogTemplate kMonitor{
    kMonitorDialog,
    "Monitor",
    620,
    264,
    {
        {ControlKind::Frame, -1, "", 5, 5, 430, 120},
        {ControlKind::Label, kIdMonHeading1,
         "Applications                                                     Http Login Sessions", 10,
         8, 420, 9},
        {ControlKind::Label, kIdMonHeading2,
         "Name                 Description                                 Now    Today  Month  "
         "Total",
         10, 17, 420, 9},
        {ControlKind::ListBox, kIdMonApps, "", 8, 27, 424, 76, gui::kUnsorted | gui::kVScroll},
        {ControlKind::Label, -1, "Totals :", 210, 108, 60, 12, kRight},
        // Under the columns Now, Today, Month and Total of the fixed-pitch lines.
        {ControlKind::Edit, kIdMonTotalNow, "", 275, 107, 27, 12, kRO},
        {ControlKind::Edit, kIdMonTotalToday, "", 304, 107, 27, 12, kRO},
        {ControlKind::Edit, kIdMonTotalMonth, "", 333, 107, 27, 12, kRO},
        {ControlKind::Edit, kIdMonTotalTotal, "", 362, 107, 40, 12, kRO},

        {ControlKind::Frame, -1, "", 5, 129, 230, 70},
        {ControlKind::Label, -1, "IP Address :", 8, 133, 56, 12, kRight},
        {ControlKind::Edit, kIdMonAddress, "", 66, 133, 164, 12, kRO},
        {ControlKind::Label, -1, "Port :", 8, 146, 56, 12, kRight},
        {ControlKind::Edit, kIdMonPort, "", 66, 146, 40, 12, kRO},
        {ControlKind::Label, -1, "Date / Time :", 8, 159, 56, 12, kRight},
        {ControlKind::Edit, kIdMonDate, "", 66, 159, 60, 12, kRO},
        {ControlKind::Edit, kIdMonTime, "", 130, 159, 50, 12, kRO},
        {ControlKind::Label, -1, "Version :", 8, 172, 56, 12, kRight},
        {ControlKind::Edit, kIdMonVersion, "", 66, 172, 114, 12, kRO},
        {ControlKind::CheckBox, kIdMonJavaReload, "Java Class Reload :", 16, 185, 120, 12},

        {ControlKind::Frame, -1, "", 240, 129, 195, 70},
        {ControlKind::Label, -1, "Sessions", 246, 132, 60, 10},
        {ControlKind::Label, -1, "Http :", 240, 144, 40, 12, kRight},
        {ControlKind::Edit, kIdMonHttp, "", 282, 144, 40, 12, kRO},
        {ControlKind::Label, -1, "Executing :", 240, 157, 40, 12, kRight},
        {ControlKind::Edit, kIdMonExecuting, "", 282, 157, 40, 12, kRO},
        {ControlKind::Label, -1, "Memory (M)", 336, 132, 60, 10},
        {ControlKind::Label, -1, "Total :", 330, 144, 48, 12, kRight},
        {ControlKind::Edit, kIdMonMemTotal, "", 380, 144, 50, 12, kRO},
        {ControlKind::Label, -1, "Available :", 330, 157, 48, 12, kRight},
        {ControlKind::Edit, kIdMonMemAvailable, "", 380, 157, 50, 12, kRO},
        {ControlKind::Label, -1, "Used :", 330, 170, 48, 12, kRight},
        {ControlKind::Edit, kIdMonMemUsed, "", 380, 170, 50, 12, kRO},

        {ControlKind::Frame, -1, "", 5, 203, 430, 36},
        {ControlKind::Label, -1, "Trace", 10, 206, 40, 10},
        {ControlKind::Label, -1, "Status :", 92, 208, 54, 11, kRight},
        // Each switch over the button that reads its trace, named as the button is.
        {ControlKind::CheckBox, kIdMonSystemTrace, "System", 151, 208, 58, 11},
        {ControlKind::CheckBox, kIdMonAppTrace, "Application", 210, 208, 58, 11},
        {ControlKind::CheckBox, kIdMonRunTrace, "Run", 269, 208, 58, 11},
        {ControlKind::Button, kIdMonStart, "Start", 92, 221, 54, 14},
        {ControlKind::Button, kIdMonSystem, "System", 151, 221, 54, 14},
        {ControlKind::Button, kIdMonApplication, "Application", 210, 221, 54, 14},
        {ControlKind::Button, kIdMonRun, "Run", 269, 221, 54, 14},
        {ControlKind::Button, kIdMonClean, "Clean", 370, 221, 54, 14},

        {ControlKind::Chart, kIdMonSessionsChart, "Sessions now", 441, 5, 174, 115},
        {ControlKind::Chart, kIdMonMemoryChart, "Memory used (M)", 441, 124, 174, 115},

        {ControlKind::CheckBox, kIdMonAutoRefresh, "Auto refresh", 8, 246, 56, 12},
        {ControlKind::Label, -1, "every", 66, 246, 22, 12},
        {ControlKind::Edit, kIdMonInterval, "5", 90, 245, 20, 12, gui::kDigits, 4},
        {ControlKind::Label, -1, "s", 113, 246, 10, 12},
        {ControlKind::Icon, -1, "APPICON", 406, 242, 20, 20},
        {ControlKind::Button, kIdMonRefresh, "Refresh", 441, 245, 54, 15},
        {ControlKind::Button, kIdMonSave, "Save", 501, 245, 54, 15},
        {ControlKind::DefButton, 2, "Close", 561, 245, 54, 15},
    }};

const DialogTemplate kTrace{
    kTraceDialog,
    "Trace",
    440,
    300,
    {
        {ControlKind::TextView, kIdTraceText, "", 0, 0, 440, 280},
        {ControlKind::Label, -1, "Find :", 4, 284, 24, 12, kRight},
        {ControlKind::Edit, kIdTraceFind, "", 30, 283, 140, 12},
        {ControlKind::DefButton, kIdTraceFindNext, "Find Next", 174, 282, 54, 14},
        {ControlKind::Button, kIdTraceSaveAs, "Save As...", 318, 282, 58, 14},
        {ControlKind::Button, 2, "Close", 380, 282, 56, 14},
    }};

const DialogTemplate kCleanTrace{kCleanTraceDialog,
                                 "Clean",
                                 160,
                                 50,
                                 {
                                     {ControlKind::Label, kIdCleanQuestion, "", 8, 9, 144, 12},
                                     {ControlKind::DefButton, 1, "OK", 46, 29, 50, 15},
                                     {ControlKind::Button, 2, "Cancel", 102, 29, 50, 15},
                                 }};

}  // namespace

void RegisterMonitorResources() {
    static bool done = false;
    if (done) return;
    done = true;
    gui::RegisterDialogTemplate(&kMonitor);
    gui::RegisterDialogTemplate(&kTrace);
    gui::RegisterDialogTemplate(&kCleanTrace);
}
