#include "studio/windows/FindInScripts.h"

#include <string>
#include <vector>

#include "studio/resources/WindowResources.h"
#include "studio/session/ScriptSearch.h"
#include "studio/windows/ListWindow.h"
#include "studio/windows/RequestEditor.h"

namespace qvw {

namespace {

// The lines the last search found, in the order the list shows them.
std::vector<ScriptMatch> Found;

void Search(gui::Dialog& d) {
    const std::string text = d.Text(kIdFindText, -1);
    ScriptPattern pattern;
    if (const std::string why = pattern.Set(text, d.IsChecked(kIdFindRegex)); !why.empty()) {
        Box(d.Handle(), "The regular expression is not valid: " + why);
        return;
    }
    Found.clear();
    d.ListClear(kIdFindResults);
    gui::SetWaitCursor();
    const int rc = SearchScripts(pattern, Found);
    gui::SetArrowCursor();
    for (const ScriptMatch& m : Found)
        d.ListAdd(kIdFindResults, m.request + " (" + std::to_string(m.line) + "): " + m.text);
    d.SetText(kIdStatusLine, Found.empty() ? std::string("Not found")
                                           : std::to_string(Found.size()) + " line(s) found");
    if (!Found.empty()) {
        d.ListSelect(kIdFindResults, 0);
        d.SetFocus(kIdFindResults);
    }
    // What was found before the failure stays listed.
    if (rc != 0) Box(d.Handle(), FailureText());
}

// Opens the selected line's script at the line; a saved script goes to the server.
void Open(gui::Dialog& d) {
    const int at = d.ListSelection(kIdFindResults);
    if (at < 0 || static_cast<std::size_t>(at) >= Found.size()) return;
    const ScriptMatch m = Found[static_cast<std::size_t>(at)];
    // The request as the list holds it: the editor highlights by its language.
    // The request as the list holds it: the editor highlights by its language.
    if (!TakeRequestAt(IndexByID(ReqList, m.requestID))) return;
    gui::SetWaitCursor();
    const bool fetched =
        Send(kCmdGetReqScript) == 0 && Session.ParseResponse(kCmdGetReqScript) == 0;
    gui::SetArrowCursor();
    if (!fetched) {
        Box(d.Handle(), FailureText());
    } else if (RunScriptEditorAt(d.Handle(), m.line) && Send(kCmdSetReqScript) != 0) {
        Box(d.Handle(), FailureText());
    }
    ReqScript.Free();
}

bool FindDlgProc(gui::Dialog& d, const gui::DialogEvent& e) {
    if (e.kind == gui::DialogEventKind::Init) {
        Found.clear();
        d.SetFocus(kIdFindText);
        return true;
    }
    switch (e.id) {
        case kIdFindGo:
            // Enter in the list of lines opens the selected one rather than searching again.
            if (d.FocusedId() == kIdFindResults)
                Open(d);
            else
                Search(d);
            return true;
        case kIdFindResults:
            if (e.notify == gui::kListDoubleClick) Open(d);
            return true;
        case kIdFindOpen:
            Open(d);
            return true;
        case 2:
            d.End(0);
            return true;
        default:
            return false;
    }
}

}  // namespace

void RunFindInScripts(gui::Window owner) {
    gui::DialogBox(owner, kFindScriptsDialog, FindDlgProc);
    Found.clear();
}

}  // namespace qvw
