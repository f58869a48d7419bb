// The shared shape of every object window: one MDI child listing the records of a shared
// list through a WBrowse, with the same message table, the same handling of commands on
// the current record, the same editing-dialog outcome and refresh, and the same paint.
// A kind of window is a ListWindowKind description plus its own command handler.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

#include "lister/WBrowse.h"
#include "platform/gui/Gui.h"
#include "studio/session/ServerSession.h"

namespace qvw {

// What the windows need of the shell. RegisterAll binds it to the shell; tests bind it to
// a bare frame of their own.
struct Host {
    std::function<gui::Window()> frame;
    std::function<gui::Menu(const std::string& name)> menuByName;
    std::function<void()> clearToolbar;
    std::function<void(int set)> setToolbar;
    std::function<std::string()> upDownDir;  // initial folder of the file dialogs
};
Host& TheHost();
gui::Window HostFrame();
gui::Menu HostMenu(const std::string& name);

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
// The server's error text of the last exchange; when the exchange failed without one (no
// connection, broken off, timed out), a text that says so instead of an empty box.
std::string FailureText();

struct ListWindowKind {
    std::string className;
    std::string fixedTitle;  // empty: counted title ("Requests [3]") kept by the window
    std::string titleWord;   // for the counted title: "Requests ["
    std::string menuName;    // put on the frame at creation
    int defaultCommand = 0;  // posted on Enter and double click
    int connectedToolbarSet = 2;
    // Column header, formatted once at creation.
    std::function<std::string()> header;
    // Formats the record at 0-based index into buf; false when no record is there (the
    // list may be refilled by a worker meanwhile): the line is then left blank.
    std::function<bool(long index, char* buf, std::size_t size)> formatLine;
    std::function<long()> count;
    // Creation work after the header (fetches) and before WBrowse::Create; destruction work
    // (emptying the lists) before the connected menu comes back.
    std::function<void()> onCreate;
    std::function<void()> onDestroy;
    // After the menu is on the frame (greying for a restricted session).
    std::function<void(gui::Menu)> onMenu;
    // The kind's commands; called only when the window is not minimised.
    std::function<void(gui::Window, int id)> onCommand;
};

// The list object of a kind: paints by the shared pattern from the kind's description.
class ListBrowse : public WBrowse {
public:
    explicit ListBrowse(const ListWindowKind& kind) : WBrowse(1, 0), m_Kind(kind) {}
    int Paint() override;
    const std::string& HeaderText() const { return m_Header; }
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

    void Register();
    // Creates the child at (1, 1), two pixels smaller than the MDI client (width > 0:
    // that width instead).
    gui::Window Open(int width = 0);
    long Proc(gui::Window w, const gui::Message& m);

    // Title: fixed, or the title word, the count and "]".
    void UpdateTitle();
    // Reshow with the list's count (cursor on the first record).
    void Reshow();
    // After a dialog succeeded: reshow, then put the cursor on the saved record (index
    // from the lookup; negative: the first record).
    void RefreshTo(long index);

private:
    ListWindowKind m_Kind;
    ListBrowse m_Browse;
    gui::Window m_Window = 0;
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

// A name or description that would change the argument list the server reads.
bool BreaksArguments(std::string_view text);

// The first delete confirmation (dialog 8) with DeleteText. OK runs onOk, which ends the
// dialog when the deletion is done; Cancel: outcome 0. Returns the dialog outcome.
bool ConfirmDelete(gui::Window owner, std::function<void(gui::Dialog&)> onOk);
// The usual OK of a delete confirmation: send; failure: the error box, dialog stays;
// success: refill the list with the answer, outcome 1, close.
template <class List>
void SendDeleteAndRefill(gui::Dialog& dlg, int code, List& list) {
    if (Send(code) != 0) {
        Box(dlg.Handle(), FailureText());
        return;
    }
    Refill(list, code);
    DialogOutcome = 1;
    dlg.End(1);
}

// The line the delete confirmations show.
extern FixedText<255> DeleteText;

}  // namespace qvw
