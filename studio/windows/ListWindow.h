// The shared shape of every object window: one MDI child listing the records of a shared
// list through a WBrowse, with the same message table, the same handling of commands on
// the current record, the same editing-dialog outcome and refresh, and the same paint.
// A kind of window is a ListWindowKind description plus its own command handler.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "lister/WBrowse.h"
#include "platform/gui/Gui.h"
#include "studio/session/ServerSession.h"

namespace qvw {

// The shell's slots of the windows that live under REQ_MENU, in the frame's order; the
// frame reads them to toggle and to close those windows.
enum WindowSlot : int {
    kNoSlot = -1,
    kSlotRequests = 0,
    kSlotHtmls,
    kSlotImages,
    kSlotData,
    kSlotFiles,
};
// The menu and toolbar commands that reach the object windows.
enum WindowCommand : int {
    kCmdNew = 109,
    kCmdEdit = 110,
    kCmdDelete = 111,
    kCmdOpen = 112,
    kCmdPassword = 113,
    kCmdDownload = 115,
    kCmdUpload = 116,
    kCmdRename = 117,
    kCmdRequests = 123,
    kCmdHtmls = 124,
    kCmdImages = 125,
    kCmdData = 126,
    kCmdFiles = 132,
    kCmdOpenFolder = 133,
    kCmdRefresh = 134,  // View > Refresh, F5: the active list window fetches its list again
    // View > Find in Scripts, Ctrl+Shift+F: the Requests window, whichever window is active
    kCmdFindInScripts = 135,
};

inline constexpr const char* kReqMenu = "REQ_MENU";
inline constexpr const char* kFuncMenu = "FUNC_MENU";
// The frame's command that says a Requests or file window has closed.
inline constexpr int kCmdChildClosed = 127;

// What the windows need of the shell. RegisterAll binds it to the shell; tests bind it to
// a bare frame of their own.
struct Host {
    std::function<gui::Window()> frame;
    std::function<gui::Menu(const std::string& name)> menuByName;
    std::function<void()> clearToolbar;
    std::function<void(int set)> setToolbar;
    std::function<std::string()> upDownDir;  // initial folder of the file dialogs
    std::function<void(WindowSlot slot, gui::Window w)> setSlot;
};
Host& TheHost();
gui::Window HostFrame();
gui::Menu HostMenu(const std::string& name);
void HostToolbar(int set);  // ClearToolbar, then SetToolbar with the set

// Editing-dialog modes, set by the window before it opens the dialog.
enum EditMode : int { kModeNone = 0, kModeNew = 1, kModeEdit = 2 };

// Set to 1 by a dialog whose server command succeeded, 0 when cancelled; the window tests
// it after the dialog returns and resets it to 0.
extern unsigned char DialogOutcome;
// Takes the outcome and resets it, as every window does after its dialog returns.
bool TakeDialogOutcome();
// Cancel (2) in an editing, delete or rename dialog: outcome 0, the dialog ends with 0.
void CancelDialog(gui::Dialog& d);

// An OK box owned by owner, captioned "Quorvel Studio" unless told otherwise.
void Box(gui::Window owner, std::string_view text, std::string_view caption = "Quorvel Studio");
// The reason of the last exchange's error (the server's, without the raw answer); when
// the exchange failed without one (no connection, broken off, timed out), a text that
// says so instead of an empty box.
std::string FailureText();

struct ListWindowKind {
    std::string className;
    std::string fixedTitle;  // empty: counted title ("Requests [3]") kept by the window
    std::string titleWord;   // for the counted title: "Requests ["
    std::string menuName;    // put on the frame at creation; empty: the frame chose it
    int defaultCommand = 0;  // posted on Enter and double click
    // Windows under REQ_MENU keep their handle in a shell slot and are toggled by a View
    // item; closing one unchecks the item, clears the slot and tells the frame (127).
    // The others put FUNC_MENU and the connected toolbar set back when they close.
    WindowSlot slot = kNoSlot;
    int viewItem = 0;
    // Column header, formatted once at creation.
    std::function<std::string()> header;
    // The column names and the format of a line, for screen readers: a record's texts
    // are read from its line under these names.
    std::vector<std::string> columns;
    const char* lineFormat = nullptr;
    // Formats the record at 0-based index into buf; false when no record is there (the
    // list may be refilled by a worker meanwhile): the line is then left blank.
    std::function<bool(long index, char* buf, std::size_t size)> formatLine;
    std::function<long()> count;
    // Fetches the list again for Refresh; Execute's result.
    std::function<int()> refetch;
    // Creation work after the header (fetches) and before WBrowse::Create; destruction work
    // (emptying the lists) before the frame takes over again.
    std::function<void(gui::Window)> onCreate;
    std::function<void(gui::Window)> onDestroy;
    // After the menu is on the frame (greying for a restricted session).
    std::function<void(gui::Menu)> onMenu;
    // The window has become the active child (transfer kind, menu greying, toolbar set).
    std::function<void(gui::Window)> onActivate;
    // The kind's commands; called only when the window is not minimised.
    std::function<void(gui::Window, int id)> onCommand;
    // Set: the window takes local files dropped from the desktop (not while minimised).
    std::function<void(gui::Window, const std::vector<std::string>& paths)> onDropFiles;
};

// The list object of a kind: paints by the shared pattern from the kind's description.
class ListBrowse : public WBrowse {
public:
    explicit ListBrowse(const ListWindowKind& kind) : WBrowse(1, 0), m_Kind(kind) {}
    int Paint() override;
    const std::string& HeaderText() const { return m_Header; }
    std::string RowText(long index) override;
    std::vector<std::string> ColumnNames() override { return m_Kind.columns; }
    std::vector<std::string> RowCells(long index) override;
    void FormatHeader() { m_Header = m_Kind.header ? m_Kind.header() : std::string(); }

    // 0-based index of the current record, or -1 when the list is empty: commands on the
    // current record do nothing then.
    long CurrentIndex() const { return GetNumberOfRecords() == 0 ? -1 : GetRecordNumber() - 1; }

private:
    const ListWindowKind& m_Kind;
    std::string m_Header;
};

// One object window kind: its description, its list object and its open window.
class ListWindow {
public:
    explicit ListWindow(ListWindowKind kind) : m_Kind(std::move(kind)), m_Browse(m_Kind) {}
    ListWindow(const ListWindow&) = delete;
    ListWindow& operator=(const ListWindow&) = delete;

    ListWindowKind& Kind() { return m_Kind; }
    ListBrowse& Browse() { return m_Browse; }
    gui::Window Handle() const { return m_Window; }

    // Registers the window class and the dialogs, once.
    void Register();
    // Creates the child at (1, 1), two pixels smaller than the MDI client (width > 0:
    // that width instead).
    gui::Window Open(int width = 0);
    long Proc(gui::Window w, const gui::Message& m);

    // Title: fixed, or the title word, the count and "]"; with a suffix, a blank and the
    // suffix after it (the Files window's folder).
    void UpdateTitle();
    void UpdateTitle(std::string_view suffix);
    // Reshow with the list's count (cursor on the first record); the title stays.
    void Reshow();
    // Reshow, then the counted title.
    void ReshowTitled();
    // After a dialog succeeded: reshow (and the title, when asked), then put the cursor on
    // the saved record (index from the lookup; negative: the first record).
    void RefreshTo(long index, bool setTitle = false);
    // Refresh: the list fetched again, the title as it was, the cursor where it stood (on
    // the last record when the list grew shorter); a failed fetch says why.
    void Refetch();

private:
    void Destroyed(gui::Window w);

    ListWindowKind m_Kind;
    ListBrowse m_Browse;
    gui::Window m_Window = 0;
    bool m_Registered = false;
    std::string m_TitleSuffix;  // what the last titled update put after the count
};

// Sending and fetching. Fetch empties the list, sends and parses whatever the send
// returned, so a failed fetch leaves the list empty.
int Send(int code);
template <class List>
int Fetch(List& list, int code) {
    list.Clear();
    int rc = Session.Execute(code);
    Session.ParseResponse(code);
    return rc;
}
// After a modifying command succeeded: the server answered with the fresh list.
template <class List>
void Refill(List& list, int code) {
    list.Clear();
    Session.ParseResponse(code);
}

// Runs fn on the record at index under the list's own lock, so a record that a worker
// is clearing meanwhile is never used. False when there is no record there.
template <class List, class Fn>
bool WithRecordAt(List& list, long index, Fn fn) {
    return list.WithRecords([&](auto& records) {
        typename std::remove_pointer_t<decltype(records.At(0))>* item = nullptr;
        if (records.GetAt(index, &item) != 0 || !item) return false;
        fn(*item);
        return true;
    });
}

// Index of a record found by name or id, -1 when absent.
template <class List>
long IndexByName(List& list, const char* name) {
    long index = 0;
    return list.FindIndexByName(name, &index) == 0 ? index : -1;
}
template <class List>
long IndexByID(List& list, long id) {
    long index = 0;
    return list.FindIndexByID(id, &index) == 0 ? index : -1;
}

// The counted title: "%s%i%s" of word, count and "]".
std::string CountedTitle(const std::string& word, long count);

// A fetch before an editing dialog: on failure the reason is shown (owned by owner) and
// false returned, so no dialog opens whose OK would write empty lists back.
template <class List>
bool FetchForEdit(gui::Window owner, List& list, int code) {
    if (Fetch(list, code) == 0) return true;
    Box(owner, FailureText());
    return false;
}

// Send, then refill: on failure the error box (owned by owner) and false; on success the
// kind's list refilled from the answer.
template <class List>
bool SendAndRefill(gui::Window owner, int code, List& list) {
    if (Send(code) != 0) {
        Box(owner, FailureText());
        return false;
    }
    Refill(list, code);
    return true;
}

// "Name already taken": a record of that name, in New mode any, in Edit mode one with
// another id than the one being edited.
template <class List>
bool NameTaken(List& list, const char* name, bool isNew, long id) {
    long index = IndexByName(list, name);
    if (index < 0) return false;
    if (isNew) return true;
    long other = id;
    WithRecordAt(list, index, [&other](auto& r) { other = r.m_ID; });
    return other != id;
}

// The id of the record of that name; false when the list has none.
template <class List>
bool IdOfName(List& list, const char* name, long& id) {
    return WithRecordAt(list, IndexByName(list, name), [&id](auto& r) { id = r.m_ID; });
}

// The Users / All Users pair of an editing dialog: the chosen users, and the users of one
// type that are not chosen yet, recomputed from scratch whenever the boxes are filled.
struct UserPicker {
    UserListType& chosen;
    UserListType& available;
    long type;  // 0 "Dev" (applications), 1 "Run" (requests)

    void Compute();
    // Both boxes refilled, each with its first entry selected.
    void Fill(gui::Dialog& d);
    // "<<" (314) and ">>" (315); true when the event was one of them.
    bool Handle(gui::Dialog& d, const gui::DialogEvent& e);
};

// A name of a request, parameter, data source or user that breaks the name rule the
// server checks (common/NameRule.h): a box owned by owner with the reason, and true. what
// names the field as the server's reason does ("Parameter name").
bool RefuseName(gui::Window owner, std::string_view what, std::string_view name, std::size_t width);
// A name or description that would change the argument list the server reads.
bool BreaksArguments(std::string_view text);
// When one of the texts would do so: a box owned by owner saying that the named fields
// may not hold those characters, and true.
bool RefuseArgumentBreakers(gui::Window owner, std::initializer_list<std::string_view> texts,
                            std::string_view fields);

// A password typed twice: false, with a box owned by owner, when the two differ; nothing
// is sent then.
bool PasswordsMatch(gui::Window owner, std::string_view password, std::string_view again);

// A number typed into a field as atol reads it: leading blanks, a sign, the digits; 0 when
// the text does not begin with a number.
long LeadingNumber(const std::string& text);

// The procedure of a small OK/Cancel dialog: init at initialisation, ok on OK (1), which
// ends the dialog itself when it is done; Cancel (2) cancels.
gui::DialogProc OkCancelProc(std::function<void(gui::Dialog&)> init,
                             std::function<void(gui::Dialog&)> ok);
// An editing dialog in a mode: mode is set for the dialog's procedure and reset after;
// true when the dialog's command succeeded (the outcome is taken).
bool RunEditDialog(gui::Window owner, int dialogId, int& mode, int newMode, gui::DialogProc proc);

// The first delete confirmation (dialog 8) with DeleteText. OK runs onOk, which ends the
// dialog when the deletion is done; Cancel: outcome 0. Returns the dialog outcome.
bool ConfirmDelete(gui::Window owner, std::function<void(gui::Dialog&)> onOk);
// The usual OK of an editing dialog or a delete confirmation: send; failure: the error
// box, dialog stays; success: refill the list with the answer, outcome 1, close.
template <class List>
void SendRefillAndClose(gui::Dialog& dlg, int code, List& list) {
    if (!SendAndRefill(dlg.Handle(), code, list)) return;
    DialogOutcome = 1;
    dlg.End(1);
}

// The line the delete confirmations show.
extern FixedText<255> DeleteText;

// The single confirmation of a record: DeleteText is what, " :  " and the name; OK sends
// code and refills list. True when the record was deleted (the outcome is taken).
template <class List>
bool ConfirmAndDelete(gui::Window owner, const char* what, const char* name, int code, List& list) {
    char line[160];
    std::snprintf(line, sizeof line, "%s :  %s", what, name);
    DeleteText = line;
    ConfirmDelete(owner, [code, &list](gui::Dialog& d) { SendRefillAndClose(d, code, list); });
    return TakeDialogOutcome();
}

}  // namespace qvw
