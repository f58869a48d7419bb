#include "studio/windows/ReqWindow.h"

#include <cstdio>
#include <string>

#include "studio/resources/WindowResources.h"
#include "studio/windows/Columns.h"
#include "studio/windows/FindInScripts.h"
#include "studio/windows/RequestEditor.h"
#include "studio/windows/Transfer.h"

namespace qvw {

namespace {

constexpr int kRequestsToolbarSet = 5;
constexpr const char* kLineFormat = "%-30.30s %-25.25s %-8.8s  %-9.9s  %s";

// The editor's working lists and script are filled for one editing session only.
void EmptyEditorState() {
    ReqScript.Free();
    ReqParamList.Clear();
    ReqUserList.Clear();
}

// Copies the current record into CurrentReq; false on an empty list.
bool TakeCurrent() {
    return TakeRequestAt(ReqWindow().Browse().CurrentIndex());
}

void OnNew(gui::Window w) {
    CurrentReq.m_Language = 1;
    CurrentReq.m_Access = 0;
    ReqParamList.Clear();
    ReqUserList.Clear();
    AvailReqUserList.Clear();
    RunRequestEditor(w, kModeNew);
    if (TakeDialogOutcome())
        ReqWindow().RefreshTo(IndexByName(ReqList, CurrentReq.m_Name.c_str()), true);
    EmptyEditorState();
}

// The parameters, users and script of the request, fetched for editing. A failed fetch
// is shown, and the editor does not open: its OK would write what is missing back as
// empty over the request's real parameters, users or script.
bool FetchForEditing(gui::Window w) {
    gui::SetWaitCursor();
    bool ok = FetchForEdit(w, ReqParamList, kCmdGetReqParams) &&
              FetchForEdit(w, ReqUserList, kCmdGetReqUsers);
    AvailReqUserList.Clear();
    if (ok) {
        ok = Send(kCmdGetReqScript) == 0;
        Session.ParseResponse(kCmdGetReqScript);
        if (!ok) Box(w, FailureText());
    }
    gui::SetArrowCursor();
    return ok;
}

void OnEdit(gui::Window w) {
    if (!TakeCurrent()) return;
    if (FetchForEditing(w)) {
        RunRequestEditor(w, kModeEdit);
        if (TakeDialogOutcome()) ReqWindow().RefreshTo(IndexByID(ReqList, CurrentReq.m_ID));
    }
    EmptyEditorState();
}

void OnDelete(gui::Window w) {
    if (!WithRecordAt(ReqList, ReqWindow().Browse().CurrentIndex(), [](ReqItem& r) {
            CurrentReq.m_ID = r.m_ID;
            CurrentReq.m_AppID = r.m_AppID;
            char line[128];
            std::snprintf(line, sizeof line, "Request :  %s", r.m_Name.c_str());
            DeleteText = line;
        }))
        return;
    ConfirmDelete(w, [](gui::Dialog& d) {
        ReqParamList.Clear();
        ReqUserList.Clear();
        AvailReqUserList.Clear();
        SendRefillAndClose(d, kCmdDeleteReq, ReqList);
    });
    if (TakeDialogOutcome()) ReqWindow().ReshowTitled();
}

void OnCommand(gui::Window w, int id) {
    switch (id) {
        case kCmdNew:
            OnNew(w);
            break;
        case kCmdEdit:
            OnEdit(w);
            break;
        case kCmdDelete:
            OnDelete(w);
            break;
        case kCmdDownload: {
            std::string name;
            if (!WithRecordAt(ReqList, ReqWindow().Browse().CurrentIndex(), [&name](ReqItem& r) {
                    CurrentReq.m_ID = r.m_ID;
                    name = std::string(r.m_Name.view()) + ".req";
                }))
                break;
            RunDownload(w, name.c_str());
            break;
        }
        case kCmdUpload:
            DialogOutcome = RunUpload(w) ? 1 : 0;
            if (TakeDialogOutcome()) ReqWindow().ReshowTitled();
            break;
        case kCmdFindInScripts:
            RunFindInScripts(w);
            break;
        default:  // Open, Password, Rename: nothing here
            break;
    }
}

ListWindowKind MakeKind() {
    ListWindowKind k;
    k.className = kReqClassName;
    k.titleWord = "Requests [";
    k.defaultCommand = kCmdEdit;
    k.slot = kSlotRequests;
    k.viewItem = kCmdRequests;
    k.columns = {"Name", "Data Source", "Language", "Access", "Modified"};
    k.lineFormat = kLineFormat;
    k.header = [] {
        return FormatColumns(kLineFormat,
                             {"Name", "Data Source", "Language", "Access", "Modified"});
    };
    k.formatLine = [](long index, char* buf, std::size_t size) {
        return WithRecordAt(ReqList, index, [buf, size](ReqItem& r) {
            FormatColumns(buf, size, kLineFormat,
                          {r.m_Name.view(), r.m_DSName.view(), LanguageText(r.m_Language),
                           AccessText(r.m_Access), r.m_Modified.m_Text.view()});
        });
    };
    k.count = [] { return ReqList.Count(); };
    k.refetch = [] {
        // The data sources first: parsing the requests looks their names up there.
        Fetch(DSList, kCmdGetDSs);
        return Fetch(ReqList, kCmdGetReqs);
    };
    k.onCreate = [](gui::Window) {
        // The data sources first: parsing the requests looks their names up there.
        Fetch(DSList, kCmdGetDSs);
        Fetch(UserList, kCmdGetUsers);
        Fetch(ReqList, kCmdGetReqs);
    };
    k.onActivate = [](gui::Window) {
        TransferKind = kTransferRequest;
        gui::Menu menu = HostMenu(kReqMenu);
        for (int id : {kCmdNew, kCmdEdit, kCmdDelete, kCmdDownload, kCmdUpload})
            gui::GreyItem(menu, id, false);
        gui::GreyItem(menu, kCmdRename, true);
        HostToolbar(kRequestsToolbarSet);
    };
    k.onDestroy = [](gui::Window) {
        ReqList.Clear();
        UserList.Clear();
        DSList.Clear();
        EmptyEditorState();
    };
    k.onCommand = OnCommand;
    return k;
}

}  // namespace

const char* LanguageText(long language) {
    return language == 1 ? "SQL" : language == 2 ? "JAVA" : "???";
}
const char* AccessText(long access) {
    return access == 0 ? "+ Public" : access == 1 ? "- Private" : "???";
}

ListWindow& ReqWindow() {
    static ListWindow window(MakeKind());
    return window;
}

void RegisterReqWindow() {
    ReqWindow().Register();
}

gui::Window OpenRequests() {
    RegisterReqWindow();
    return ReqWindow().Open();
}

}  // namespace qvw
