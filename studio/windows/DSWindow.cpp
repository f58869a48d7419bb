#include "studio/windows/DSWindow.h"

#include <climits>
#include <cstdio>
#include <string>

#include "studio/resources/WindowResources.h"
#include "studio/windows/Columns.h"

namespace qvw {

namespace {

// The header's second column is one wider and followed by one blank where the lines have
// two, so both put the description at the same column.
constexpr const char* kHeaderFormat = "%-25.25s %-5.5s %s";
constexpr const char* kLineFormat = "%-25.25s %-4.4s  %s";
// The entry that stands for no data source: listed, never changed from here.
constexpr long kNoDataSource = 0;

int DSMode = kModeNone;

void DSDialogOk(gui::Dialog& d) {
    const gui::Window self = d.Handle();
    CurrentDS.m_Name = d.Text(kIdDSName, 50);
    CurrentDS.m_Description = d.Text(kIdDSDescription, 50);
    CurrentDS.m_Connections = LeadingNumber(d.Text(kIdDSConnections, 20));
    if (CurrentDS.m_Name.empty()) {
        Box(self, "No DS Name!");
        return;
    }
    if (RefuseName(self, "Data source name", CurrentDS.m_Name.view(), 50) ||
        RefuseArgumentBreakers(self, {CurrentDS.m_Description.view()}, "Description"))
        return;
    if (NameTaken(DSList, CurrentDS.m_Name.c_str(), DSMode == kModeNew, CurrentDS.m_ID)) {
        Box(self, "DS exists!");
        return;
    }
    // A count past what an int holds would be listed as another number than was sent.
    if (CurrentDS.m_Connections < 0 || CurrentDS.m_Connections > INT_MAX) {
        Box(self, "Incorrect DS Connections!");
        return;
    }
    SendRefillAndClose(d, DSMode == kModeNew ? kCmdNewDS : kCmdEditDS, DSList);
}

void DSDialogInit(gui::Dialog& d) {
    const bool edit = DSMode == kModeEdit;
    d.SetTitle(edit ? "Edit Data Source" : "New Data Source");
    d.SetText(kIdDSName, edit ? CurrentDS.m_Name.view() : "");
    d.SetText(kIdDSDescription, edit ? CurrentDS.m_Description.view() : "");
    d.SetText(kIdDSConnections,
              edit ? std::to_string(static_cast<int>(CurrentDS.m_Connections)) : "0");
}

void PasswordInit(gui::Dialog& d) {
    d.SetTitle("Data Source User Name and Password");
    d.SetText(kIdDSName, CurrentDS.m_Name.view());
    d.SetText(kIdDSUserName, CurrentDS.m_UserName.view());
    d.SetText(kIdDSPassword, "");
    d.SetText(kIdDSPasswordAgain, "");
}

void PasswordOk(gui::Dialog& d) {
    CurrentDS.m_UserName = d.Text(kIdDSUserName, 20);
    CurrentDS.m_Password = d.Text(kIdDSPassword, 20);
    if (!PasswordsMatch(d.Handle(), CurrentDS.m_Password.view(), d.Text(kIdDSPasswordAgain, 20)))
        return;
    // DSPwd carries the password last: a ")" in it would be cut off silently.
    if (RefuseArgumentBreakers(d.Handle(),
                               {CurrentDS.m_UserName.view(), CurrentDS.m_Password.view()},
                               "User Name and User Password"))
        return;
    SendRefillAndClose(d, kCmdDSPwd, DSList);
}

// Copies the current record into CurrentDS; false on an empty list and on the entry
// that stands for no data source, which says so (owned by owner) instead of doing nothing.
bool TakeCurrent(gui::Window owner) {
    bool found = WithRecordAt(DSList, DSWindow().Browse().CurrentIndex(), [](DSItem& r) {
        CurrentDS.m_Name = r.m_Name.view();
        CurrentDS.m_ID = r.m_ID;
        CurrentDS.m_Description = r.m_Description.view();
        CurrentDS.m_Connections = r.m_Connections;
        CurrentDS.m_UserName = r.m_UserName.view();
    });
    if (!found) return false;
    if (CurrentDS.m_ID != kNoDataSource) return true;
    Box(owner, "\"" + CurrentDS.m_Name.str() +
                   "\" stands for no data source: it cannot be edited, deleted or given a "
                   "password.");
    return false;
}

void OnCommand(gui::Window w, int id) {
    ListWindow& win = DSWindow();
    switch (id) {
        case kCmdNew:
            if (RunEditDialog(w, kDSDialog, DSMode, kModeNew,
                              OkCancelProc(DSDialogInit, DSDialogOk)))
                win.RefreshTo(IndexByName(DSList, CurrentDS.m_Name.c_str()));
            break;
        case kCmdEdit:
            if (!TakeCurrent(w)) break;
            if (RunEditDialog(w, kDSDialog, DSMode, kModeEdit,
                              OkCancelProc(DSDialogInit, DSDialogOk)))
                win.RefreshTo(IndexByID(DSList, CurrentDS.m_ID));
            break;
        case kCmdDelete:
            if (TakeCurrent(w) &&
                ConfirmAndDelete(w, "Data Source", CurrentDS.m_Name.c_str(), kCmdDeleteDS, DSList))
                win.Reshow();
            break;
        case kCmdPassword:
            if (!TakeCurrent(w)) break;
            gui::DialogBox(w, kDSPwdDialog, OkCancelProc(PasswordInit, PasswordOk));
            // The list records carry no password; neither does the record after the command.
            CurrentDS.m_Password = "";
            if (TakeDialogOutcome()) win.Reshow();
            break;
        default:  // Open: nothing here
            break;
    }
}

ListWindowKind MakeKind() {
    ListWindowKind k;
    k.className = kDSClassName;
    k.fixedTitle = "Data Sources";
    k.menuName = "DS_MENU";
    k.defaultCommand = kCmdEdit;
    k.columns = {"Name", "Conn", "Description"};
    k.lineFormat = kLineFormat;
    k.header = [] { return FormatColumns(kHeaderFormat, {"Name", "Conn", "Description"}); };
    k.formatLine = [](long index, char* buf, std::size_t size) {
        return WithRecordAt(DSList, index, [buf, size](DSItem& r) {
            char conn[24];
            std::snprintf(conn, sizeof conn, "%d", static_cast<int>(r.m_Connections));
            FormatColumns(buf, size, kLineFormat, {r.m_Name.view(), conn, r.m_Description.view()});
        });
    };
    k.count = [] { return DSList.Count(); };
    k.refetch = [] { return Fetch(DSList, kCmdGetDSs); };
    k.onCreate = [](gui::Window) { Fetch(DSList, kCmdGetDSs); };
    k.onDestroy = [](gui::Window) { DSList.Clear(); };
    k.onCommand = OnCommand;
    return k;
}

}  // namespace

ListWindow& DSWindow() {
    static ListWindow window(MakeKind());
    return window;
}

void RegisterDSWindow() {
    DSWindow().Register();
}

gui::Window OpenDataSources() {
    RegisterDSWindow();
    return DSWindow().Open();
}

}  // namespace qvw
