#include "studio/windows/RequestEditor.h"

#include <cstring>
#include <string>
#include <vector>

#include "common/NameRule.h"
#include "platform/os/System.h"
#include "studio/resources/WindowResources.h"
#include "studio/windows/ListWindow.h"

namespace qvw {

int ReqMode = kModeNone;

bool TakeRequestAt(long index) {
    return WithRecordAt(ReqList, index, [](ReqItem& r) {
        CurrentReq.m_Name = r.m_Name.view();
        CurrentReq.m_ID = r.m_ID;
        CurrentReq.m_DSID = r.m_DSID;
        CurrentReq.m_AppID = r.m_AppID;
        CurrentReq.m_Language = r.m_Language;
        CurrentReq.m_Access = r.m_Access;
    });
}

namespace {

enum ParamMode : int { kParamNew = 1, kParamEdit = 2, kParamInsert = 3 };
int ParamMode = kParamNew;
FixedText<50> ParamName;
unsigned char ParamOutcome = 0;
// The request's name when the editor opened: the script editor's title keeps it.
FixedText<50> OpenedName;

UserPicker& ReqUsers() {
    static UserPicker picker{ReqUserList, AvailReqUserList, 1};
    return picker;
}

std::string ParamNameAt(long index) {
    ParamListItem* p = nullptr;
    return ReqParamList.GetAt(index, &p) == 0 && p ? std::string(p->m_Name.view()) : std::string();
}

void FillParams(gui::Dialog& d) {
    d.ListClear(kIdReqParams);
    for (long i = 0; i < ReqParamList.Count(); ++i) d.ListAdd(kIdReqParams, ParamNameAt(i));
    d.ListSelect(kIdReqParams, -1);
    d.SetText(kIdParamCount, std::to_string(static_cast<int>(ReqParamList.Count())));
}

void EnableUsers(gui::Dialog& d, bool enable) {
    for (int id : {kIdAddUser, kIdRemoveUser, kIdAppUsers, kIdAllUsers}) d.Enable(id, enable);
}

bool AddParam(const char* name) {
    ParamListItem* p = nullptr;
    if (ReqParamList.Add(&p) != 0 || !p) return false;
    p->m_Name = name;
    return true;
}

// Inserts before position k through a temporary list, so that the list's own order
// stays the only order there is.
void InsertParam(long k, const char* name) {
    std::vector<std::string> names;
    for (long i = 0; i < ReqParamList.Count(); ++i) {
        if (i == k) names.emplace_back(name);
        names.push_back(ParamNameAt(i));
    }
    ReqParamList.Clear();
    for (const std::string& n : names) AddParam(n.c_str());
}

// ---- the parameter dialog (7) ------------------------------------------------------------

bool ParamDlgProc(gui::Dialog& d, const gui::DialogEvent& e) {
    if (e.kind == gui::DialogEventKind::Init) {
        static const char* const kTitles[] = {"New Parameter", "Edit Parameter",
                                              "Insert Parameter"};
        d.SetTitle(kTitles[ParamMode >= 1 && ParamMode <= 3 ? ParamMode - 1 : 0]);
        d.SetText(kIdParamName, ParamMode == kParamEdit ? ParamName.view() : "");
        return true;
    }
    if (e.id == 1) {
        ParamName = d.Text(kIdParamName, 50);
        ParamListItem* same = nullptr;
        if (ParamName.empty()) {
            Box(d.Handle(), "No Parameter Name!");
            return true;
        }
        if (RefuseName(d.Handle(), "Parameter name", ParamName.view(), 50)) return true;
        if (ReqParamList.FindByName(ParamName.c_str(), &same) == 0) {
            Box(d.Handle(), "Parameter Name exists!");
            return true;
        }
        ParamOutcome = 1;
        d.End(1);
        return true;
    }
    if (e.id == 2) {
        ParamOutcome = 0;
        d.End(0);
        return true;
    }
    return false;
}

bool RunParamDialog(gui::Dialog& owner, int mode) {
    ParamMode = mode;
    ParamOutcome = 0;
    gui::DialogBox(owner.Handle(), kParamDialog, ParamDlgProc);
    return ParamOutcome == 1;
}

void OnParamCommand(gui::Dialog& d, int id) {
    if (id == kIdParamNew) {
        if (RunParamDialog(d, kParamNew)) AddParam(ParamName.c_str());
        FillParams(d);
        return;
    }
    const int sel = d.ListSelection(kIdReqParams);
    ParamListItem* p = nullptr;
    if (sel < 0 || ReqParamList.GetAt(sel, &p) != 0 || !p) {
        Box(d.Handle(), "No Parameter selected!");
        return;
    }
    if (id == kIdParamEdit) {
        ParamName = p->m_Name.view();
        if (RunParamDialog(d, kParamEdit)) p->m_Name = ParamName.view();
    } else if (id == kIdParamDelete) {
        DeleteText = "Parameter :  " + std::string(p->m_Name.view());
        if (ConfirmDelete(d.Handle(), [](gui::Dialog& c) {
                DialogOutcome = 1;
                c.End(1);
            })) {
            DialogOutcome = 0;
            ReqParamList.Remove(p);
        }
    } else if (RunParamDialog(d, kParamInsert)) {
        InsertParam(sel, ParamName.c_str());
    }
    FillParams(d);
}

// ---- the cancel confirmation (16) --------------------------------------------------------

// The question the confirmation asks, set by whoever opens it.
const char* CancelQuestion = "";

bool CancelDlgProc(gui::Dialog& d, const gui::DialogEvent& e) {
    if (e.kind == gui::DialogEventKind::Init) {
        d.SetText(kIdCancelQuestion, CancelQuestion);
        return true;
    }
    if (e.id == 1 || e.id == 2) {
        DialogOutcome = e.id == 1 ? 1 : 0;
        d.End(e.id == 1 ? 1 : 0);
        return true;
    }
    return false;
}

// True when the user answers OK to question.
bool ConfirmCancel(gui::Window owner, const char* question) {
    CancelQuestion = question;
    DialogOutcome = 0;
    gui::DialogBox(owner, kCancelDialog, CancelDlgProc);
    return TakeDialogOutcome();
}

// ---- the script editor (9) ---------------------------------------------------------------

// The script as it stands before the editor saves; a script that is not UTF-8 was
// written in the old single-byte encoding, and is shown and saved back as Latin-1 so
// that Save changes no byte that was not edited.
std::string_view StoredScript() {
    const char* text = ReqScript.GetContent();
    return text ? std::string_view(text, static_cast<std::size_t>(ReqScript.GetSize()))
                : std::string_view();
}

// The editor's text as it was shown: Cancel asks only when it has changed since.
std::string ScriptShown;
// Where the caret starts (from 1; 0 at the top).
long ScriptStartLine = 0;

bool ScriptDlgProc(gui::Dialog& d, const gui::DialogEvent& e) {
    if (e.kind == gui::DialogEventKind::Init) {
        d.SetTitle(ReqMode == kModeEdit ? "Request: " + std::string(OpenedName.view()) + "()"
                                        : std::string("New Request"));
        d.SetCodeLanguage(kIdScript, CurrentReq.m_Language == 2 ? gui::CodeLanguage::Java
                                                                : gui::CodeLanguage::Sql);
        const std::string_view script = StoredScript();
        d.SetText(kIdScript, os::IsUtf8(script) ? std::string(script) : os::Latin1ToUtf8(script));
        ScriptShown = d.Text(kIdScript, -1);
        if (ScriptStartLine > 0) d.GoToLine(kIdScript, static_cast<int>(ScriptStartLine));
        return true;
    }
    if (e.id == kCmdScriptSave) {
        // The whole text: a script is never cut here; a server that cannot take its
        // size refuses SetReqScript, and the editor reports that.
        std::string text = d.Text(kIdScript, -1);
        if (!os::IsUtf8(StoredScript()) && !os::Utf8ToLatin1(text, text)) {
            Box(d.Handle(),
                "This script is kept in Latin-1, which cannot hold every "
                "character typed! Remove those characters to save it.");
            return true;
        }
        ReqScript.Free();
        if (ReqScript.Alloc(static_cast<long>(text.size()), 5000) == 0)
            ReqScript.AddContent(text.data(), static_cast<long>(text.size()));
        d.End(1);
        return true;
    }
    if (e.id == kCmdScriptCancel || e.id == 2) {
        if (d.Text(kIdScript, -1) == ScriptShown ||
            ConfirmCancel(d.Handle(), "Discard the changes to the script?"))
            d.End(0);
        return true;
    }
    return false;
}

// ---- the request editor (4) --------------------------------------------------------------

// Whether the request itself was saved while the editor is open: then closing it in any
// way must have the Requests window show the request.
bool RequestSaved = false;

// The index of the first real data source, or of the entry for none when there is no other.
long FirstDataSource() {
    for (long i = 0; i < DSList.Count(); ++i) {
        long id = 0;
        WithRecordAt(DSList, i, [&id](DSItem& ds) { id = ds.m_ID; });
        if (id != 0) return i;
    }
    return IndexByID(DSList, 0);
}

void Init(gui::Dialog& d) {
    OpenedName = CurrentReq.m_Name.view();
    d.ListClear(kIdReqDataSource);
    for (long i = 0; i < DSList.Count(); ++i)
        WithRecordAt(DSList, i,
                     [&d](DSItem& ds) { d.ListAdd(kIdReqDataSource, ds.m_Name.view()); });
    const bool edit = ReqMode == kModeEdit;
    d.SetTitle(edit ? "Edit Request" : "New Request");
    d.SetText(kIdReqName, edit ? CurrentReq.m_Name.view() : "");
    // A new SQL request needs a data source: offer the first one rather than none.
    const long ds = edit                         ? IndexByID(DSList, CurrentReq.m_DSID)
                    : CurrentReq.m_Language == 1 ? FirstDataSource()
                                                 : IndexByID(DSList, 0);
    d.ListSelect(kIdReqDataSource, ds >= 0 ? static_cast<int>(ds) : 0);
    FillParams(d);
    if (edit && ReqParamList.Count() > 0) d.ListSelect(kIdReqParams, 0);
    ReqUsers().Fill(d);
    d.Check(kIdSql, CurrentReq.m_Language == 1);
    d.Check(kIdJava, CurrentReq.m_Language == 2);
    d.Check(kIdPublic, CurrentReq.m_Access == 0);
    d.Check(kIdPrivate, CurrentReq.m_Access == 1);
    if (CurrentReq.m_Access == 0 || CurrentReq.m_Access == 1)
        EnableUsers(d, CurrentReq.m_Access == 1);
}

bool StartsWith(const char* text, const char* word) {
    return std::strncmp(text, word, std::strlen(word)) == 0;
}

// The first failed check's message, or an empty text when the fields are valid. Every
// name is checked with the server's rule here, before anything is sent.
std::string Invalid(bool haveDataSource) {
    const bool isNew = ReqMode == kModeNew;
    const char* name = CurrentReq.m_Name.c_str();
    if (CurrentReq.m_Name.empty()) return "No Name!";
    std::string why = names::CheckName("Request name", CurrentReq.m_Name.view(), 50);
    for (long i = 0; why.empty() && i < ReqParamList.Count(); ++i)
        why = names::CheckName("Parameter " + ParamNameAt(i), ParamNameAt(i), 50);
    if (!why.empty()) return why;
    if (isNew && NameTaken(ReqList, name, true, 0)) return "Req exists!";
    if (StartsWith(name, "server_login") || StartsWith(name, "server_logout") ||
        StartsWith(name, "server_request"))
        return "Invalid Name!";
    if (!isNew && NameTaken(ReqList, name, false, CurrentReq.m_ID)) return "Req exists!";
    if (!haveDataSource) return "No Data Source!";
    if (CurrentReq.m_Language == 1 && CurrentReq.m_DSID == 0)
        return "Data Source is required for SQL Request!";
    if (CurrentReq.m_Language == 2 && CurrentReq.m_DSID != 0)
        return "No Data Source is required for JAVA Request!";
    if (ReqScript.GetSize() == 0) return "No Script!";
    if (CurrentReq.m_Access == 1 && ReqUserList.Count() == 0) return "There are no Users!";
    if (CurrentReq.m_Access == 0 && ReqUserList.Count() != 0) return "There are Users!";
    return {};
}

// The request exists on the server from here on: the editor stays what it now is, the
// editor of that request, so that another OK changes it instead of creating it twice.
void BecomeEditor(gui::Dialog& d) {
    RequestSaved = true;
    if (ReqMode == kModeEdit) return;
    ReqMode = kModeEdit;
    OpenedName = CurrentReq.m_Name.view();
    d.SetTitle("Edit Request");
}

void OnOk(gui::Dialog& d) {
    const gui::Window self = d.Handle();
    CurrentReq.m_Name = d.Text(kIdReqName, 50);
    // With no data sources listed there is no record to take an id from.
    const bool haveDataSource = WithRecordAt(DSList, d.ListSelection(kIdReqDataSource),
                                             [](DSItem& ds) { CurrentReq.m_DSID = ds.m_ID; });
    CurrentReq.m_AppID = CurrentApp.m_ID;
    if (d.IsChecked(kIdSql)) CurrentReq.m_Language = 1;
    if (d.IsChecked(kIdJava)) CurrentReq.m_Language = 2;
    if (d.IsChecked(kIdPublic)) CurrentReq.m_Access = 0;
    if (d.IsChecked(kIdPrivate)) CurrentReq.m_Access = 1;
    if (const std::string message = Invalid(haveDataSource); !message.empty()) {
        Box(self, message);
        return;
    }
    gui::SetWaitCursor();
    const int save = ReqMode == kModeNew ? kCmdNewReq : kCmdEditReq;
    if (Send(save) != 0) {
        // The arrow first: the box is not to be read under the wait cursor.
        gui::SetArrowCursor();
        Box(self, FailureText());
        return;
    }
    Refill(ReqList, save);
    long id = 0;
    if (IdOfName(ReqList, CurrentReq.m_Name.c_str(), id)) {
        CurrentReq.m_ID = id;
    } else if (ReqMode == kModeNew) {
        // Without the new id the parameters, users and script would go to whichever
        // request CurrentReq last named.
        gui::SetArrowCursor();
        Box(self,
            "The request is saved, but not its parameters, users and script: it is not in the "
            "server's new list!");
        DialogOutcome = 1;
        d.End(1);
        return;
    }
    BecomeEditor(d);
    // Each part is written even when one before it failed; what failed stays in the
    // editor as typed, and the next OK writes everything again.
    static const struct {
        int code;
        const char* name;
    } kParts[] = {
        {kCmdSetReqParams, "Parameters"}, {kCmdSetReqUsers, "Users"}, {kCmdSetReqScript, "Script"}};
    std::string failed;
    for (const auto& part : kParts) {
        if (Send(part.code) != 0) failed += std::string("\n") + part.name + ": " + FailureText();
        Session.ParseResponse(part.code);
    }
    gui::SetArrowCursor();
    if (!failed.empty()) {
        Box(self, "The request is saved, but not all of it; OK saves the rest." + failed, "Error");
        return;
    }
    DialogOutcome = 1;
    d.End(1);
}

bool ReqDlgProc(gui::Dialog& d, const gui::DialogEvent& e) {
    if (e.kind == gui::DialogEventKind::Init) {
        Init(d);
        return true;
    }
    if (ReqUsers().Handle(d, e)) return true;
    if (e.notify != gui::kClicked) return false;
    switch (e.id) {
        case kIdSql:
        case kIdJava:
            CurrentReq.m_Language = d.IsChecked(kIdJava) ? 2 : 1;
            return true;
        case kIdPublic:
        case kIdPrivate:
            EnableUsers(d, d.IsChecked(kIdPrivate));
            return true;
        case kIdParamNew:
        case kIdParamEdit:
        case kIdParamDelete:
        case kIdParamInsert:
            OnParamCommand(d, e.id);
            return true;
        case kIdSource:
            gui::DialogBox(d.Handle(), kScriptDialog, ScriptDlgProc);
            return true;
        case 1:
            OnOk(d);
            return true;
        case 2:
            if (ConfirmCancel(d.Handle(), "Discard the changes to this request?")) {
                // A request saved in part is listed all the same.
                DialogOutcome = RequestSaved ? 1 : 0;
                d.End(0);
            }
            return true;
        default:
            return false;
    }
}

}  // namespace

bool RunScriptEditorAt(gui::Window owner, long line) {
    ReqMode = kModeEdit;
    OpenedName = CurrentReq.m_Name.view();
    ScriptStartLine = line;
    const bool saved = gui::DialogBox(owner, kScriptDialog, ScriptDlgProc) == 1;
    ScriptStartLine = 0;
    ReqMode = kModeNone;
    return saved;
}

void RunRequestEditor(gui::Window owner, int mode) {
    ReqMode = mode;
    RequestSaved = false;
    DialogOutcome = 0;
    gui::DialogBox(owner, kReqDialog, ReqDlgProc);
    ReqMode = kModeNone;
}

}  // namespace qvw
