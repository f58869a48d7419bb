#include "studio/windows/AppWindow.h"

#include <cstdio>
#include <string>

#include "studio/resources/WindowResources.h"
#include "studio/windows/Columns.h"
#include "studio/windows/Transfer.h"

namespace qvw {

int AppMode = kModeNone;

namespace {

constexpr const char* kLineFormat = "%-20.20s %-30.30s %s";
// What a restricted session may not do here.
constexpr int kAdminCommands[] = {kCmdNew, kCmdEdit, kCmdDelete, kCmdUpload, kCmdDownload};

UserPicker& AppUsers() {
    static UserPicker picker{AppUserList, AvailUserList, 0};
    return picker;
}

void AppDialogOk(gui::Dialog& d) {
    const gui::Window self = d.Handle();
    CurrentApp.m_Name = d.Text(kIdAppName, 50);
    CurrentApp.m_Description = d.Text(kIdAppDescription, 50);
    CurrentApp.m_SessionTimeout = LeadingNumber(d.Text(kIdAppTimeout, 20));
    if (CurrentApp.m_Name.empty()) {
        Box(self, "No AppName!");
        return;
    }
    // A "," or ")" would end the argument early and shift every argument after it.
    if (RefuseArgumentBreakers(self, {CurrentApp.m_Name.view(), CurrentApp.m_Description.view()},
                               "Name and Description"))
        return;
    if (NameTaken(AppList, CurrentApp.m_Name.c_str(), AppMode == kModeNew, CurrentApp.m_ID)) {
        Box(self, "App exists!");
        return;
    }
    const int code = AppMode == kModeNew ? kCmdNewApp : kCmdEditApp;
    if (!SendAndRefill(self, code, AppList)) return;
    if (AppMode == kModeNew) {
        long id = 0;
        if (!IdOfName(AppList, CurrentApp.m_Name.c_str(), id)) {
            // Without the new id the users would land on whichever application
            // CurrentApp last named: they are not sent at all.
            Box(self,
                "The application is saved, but not its users: it is not in the server's new list!");
            DialogOutcome = 1;
            d.End(1);
            return;
        }
        CurrentApp.m_ID = id;
    }
    gui::SetWaitCursor();
    if (Send(kCmdSetAppUsers) != 0) {
        gui::SetArrowCursor();
        Box(self, FailureText(), "Error");
    }
    Session.ParseResponse(kCmdSetAppUsers);
    gui::SetArrowCursor();
    DialogOutcome = 1;
    d.End(1);
}

void AppDialogInit(gui::Dialog& d) {
    if (AppMode == kModeEdit) {
        d.SetTitle("Edit Application");
        d.SetText(kIdAppName, CurrentApp.m_Name.view());
        d.SetText(kIdAppDescription, CurrentApp.m_Description.view());
        d.SetText(kIdAppTimeout, std::to_string(static_cast<int>(CurrentApp.m_SessionTimeout)));
    } else {
        d.SetTitle("New Application");
        d.SetText(kIdAppName, "");
        d.SetText(kIdAppDescription, "");
        d.SetText(kIdAppTimeout, "");
    }
    AppUsers().Fill(d);
}

bool AppDialogProc(gui::Dialog& d, const gui::DialogEvent& e) {
    static const gui::DialogProc okCancel = OkCancelProc(AppDialogInit, AppDialogOk);
    if (e.kind != gui::DialogEventKind::Init && AppUsers().Handle(d, e)) return true;
    return okCancel(d, e);
}

bool DeleteSureProc(gui::Dialog& d, const gui::DialogEvent& e) {
    static const gui::DialogProc okCancel = OkCancelProc(
        [](gui::Dialog& dlg) {
            dlg.SetText(kIdDeleteLine, DeleteText.view());
            dlg.SetText(kIdStatusLine, "");
        },
        [](gui::Dialog& dlg) { SendRefillAndClose(dlg, kCmdDeleteApp, AppList); });
    // Stop has nothing to stop in a single deletion.
    if (e.kind == gui::DialogEventKind::Command && e.id == kIdStop) return true;
    return okCancel(d, e);
}

// Copies the current record into CurrentApp; false on an empty list.
bool TakeCurrent(bool all) {
    long index = AppWindow().Browse().CurrentIndex();
    if (index < 0) return false;
    return WithRecordAt(AppList, index, [all](AppItem& a) {
        CurrentApp.m_ID = a.m_ID;
        if (!all) return;
        CurrentApp.m_Name = a.m_Name.view();
        CurrentApp.m_Description = a.m_Description.view();
        CurrentApp.m_SessionTimeout = a.m_SessionTimeout;
    });
}

void OnCommand(gui::Window w, int id) {
    // The greyed commands of a restricted session stay refused when they come another way.
    if (LoginUserID != 0)
        for (int refused : kAdminCommands)
            if (id == refused) return;
    ListWindow& win = AppWindow();
    switch (id) {
        case kCmdNew:
            AppUserList.Clear();
            if (RunEditDialog(w, kAppDialog, AppMode, kModeNew, AppDialogProc))
                win.RefreshTo(IndexByName(AppList, CurrentApp.m_Name.c_str()));
            break;
        case kCmdEdit:
            if (!TakeCurrent(true)) break;
            gui::SetWaitCursor();
            if (!FetchForEdit(w, AppUserList, kCmdGetAppUsers)) {
                // An OK on an empty user list would remove every user of the application.
                gui::SetArrowCursor();
                break;
            }
            AvailUserList.Clear();
            gui::SetArrowCursor();
            if (RunEditDialog(w, kAppDialog, AppMode, kModeEdit, AppDialogProc))
                win.RefreshTo(IndexByID(AppList, CurrentApp.m_ID));
            break;
        case kCmdDelete: {
            long index = win.Browse().CurrentIndex();
            if (index < 0) break;
            WithRecordAt(AppList, index, [](AppItem& a) {
                CurrentApp.m_ID = a.m_ID;
                char line[128];
                std::snprintf(line, sizeof line, "Application :  %s", a.m_Name.c_str());
                DeleteText = line;
            });
            ConfirmDelete(w, [](gui::Dialog& first) {
                gui::DialogBox(first.Handle(), kDeleteSureDialog, DeleteSureProc);
                if (DialogOutcome == 1) first.End(1);
            });
            if (TakeDialogOutcome()) win.Reshow();
            break;
        }
        case kCmdOpen: {
            if (!TakeCurrent(true)) break;
            gui::Window frame = HostFrame();
            gui::MdiDestroy(w);
            if (frame) gui::SendCommand(frame, kCmdRequests);
            break;
        }
        case kCmdDownload: {
            std::string name;
            if (!WithRecordAt(AppList, win.Browse().CurrentIndex(), [&name](AppItem& a) {
                    CurrentApp.m_ID = a.m_ID;
                    name = std::string(a.m_Name.view()) + ".app";
                }))
                break;
            RunDownload(w, name.c_str());
            break;
        }
        case kCmdUpload:
            if (RunUpload(w)) {
                DialogOutcome = 0;
                win.Reshow();
            }
            break;
        default:
            break;
    }
}

ListWindowKind MakeKind() {
    ListWindowKind k;
    k.className = kAppClassName;
    k.fixedTitle = "Applications";
    k.menuName = "APP_MENU";
    k.defaultCommand = kCmdOpen;
    k.columns = {"Name", "Description", "Session Timeout"};
    k.lineFormat = kLineFormat;
    k.header = [] {
        return FormatColumns(kLineFormat, {"Name", "Description", "Session Timeout"});
    };
    k.formatLine = [](long index, char* buf, std::size_t size) {
        return WithRecordAt(AppList, index, [buf, size](AppItem& a) {
            FormatColumns(buf, size, kLineFormat,
                          {a.m_Name.view(), a.m_Description.view(),
                           std::to_string(static_cast<int>(a.m_SessionTimeout))});
        });
    };
    k.count = [] { return AppList.Count(); };
    k.refetch = [] { return Fetch(AppList, kCmdGetApps); };
    k.onCreate = [](gui::Window) {
        Fetch(UserList, kCmdGetUsers);
        TransferKind = kTransferApp;
    };
    k.onDestroy = [](gui::Window) { AppList.Clear(); };
    k.onMenu = [](gui::Menu menu) {
        // Greyed for a restricted session, and enabled again for a later full one.
        for (int id : kAdminCommands) gui::GreyItem(menu, id, LoginUserID != 0);
    };
    k.onCommand = OnCommand;
    return k;
}

}  // namespace

void ComputeAvailableUsers() {
    AppUsers().Compute();
}

ListWindow& AppWindow() {
    static ListWindow window(MakeKind());
    return window;
}

void RegisterAppWindow() {
    AppWindow().Register();
}

gui::Window OpenApplications() {
    RegisterAppWindow();
    return AppWindow().Open();
}

}  // namespace qvw
