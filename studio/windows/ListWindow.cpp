#include "studio/windows/ListWindow.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/NameRule.h"
#include "studio/resources/WindowResources.h"
#include "studio/windows/Columns.h"

namespace qvw {

unsigned char DialogOutcome = 0;
FixedText<255> DeleteText;

Host& TheHost() {
    static Host host;
    return host;
}
gui::Window HostFrame() {
    return TheHost().frame ? TheHost().frame() : 0;
}
gui::Menu HostMenu(const std::string& name) {
    return TheHost().menuByName ? TheHost().menuByName(name) : 0;
}
void HostToolbar(int set) {
    if (TheHost().clearToolbar) TheHost().clearToolbar();
    if (TheHost().setToolbar) TheHost().setToolbar(set);
}

bool TakeDialogOutcome() {
    bool ok = DialogOutcome == 1;
    DialogOutcome = 0;
    return ok;
}

void CancelDialog(gui::Dialog& d) {
    DialogOutcome = 0;
    d.End(0);
}

void Box(gui::Window owner, std::string_view text, std::string_view caption) {
    gui::MessageBox(owner, text, caption);
}

std::string FailureText() {
    if (Session.GetErrorText()[0] != '\0') return Session.GetErrorReason();
    return "No answer from the server!";
}

int Send(int code) {
    return Session.Execute(code);
}

std::string CountedTitle(const std::string& word, long count) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s%i%s", word.c_str(), static_cast<int>(count), "]");
    return buf;
}

bool RefuseName(gui::Window owner, std::string_view what, std::string_view name,
                std::size_t width) {
    const std::string why = names::CheckName(what, name, width);
    if (why.empty()) return false;
    Box(owner, why);
    return true;
}

bool BreaksArguments(std::string_view text) {
    return text.find_first_of(",)") != std::string_view::npos;
}

bool RefuseArgumentBreakers(gui::Window owner, std::initializer_list<std::string_view> texts,
                            std::string_view fields) {
    for (std::string_view t : texts) {
        if (!BreaksArguments(t)) continue;
        Box(owner, std::string(fields) + " may not contain \",\" or \")\"!");
        return true;
    }
    return false;
}

bool PasswordsMatch(gui::Window owner, std::string_view password, std::string_view again) {
    if (password == again) return true;
    Box(owner, "The two passwords are not the same: type the password again in both fields!");
    return false;
}

long LeadingNumber(const std::string& text) {
    return std::strtol(text.c_str(), nullptr, 10);
}

gui::DialogProc OkCancelProc(std::function<void(gui::Dialog&)> init,
                             std::function<void(gui::Dialog&)> ok) {
    return [init = std::move(init), ok = std::move(ok)](gui::Dialog& d, const gui::DialogEvent& e) {
        if (e.kind == gui::DialogEventKind::Init) {
            if (init) init(d);
            return true;
        }
        switch (e.id) {
            case 1:
                if (ok) ok(d);
                return true;
            case 2:
                CancelDialog(d);
                return true;
            default:
                return false;
        }
    };
}

bool RunEditDialog(gui::Window owner, int dialogId, int& mode, int newMode, gui::DialogProc proc) {
    mode = newMode;
    gui::DialogBox(owner, dialogId, std::move(proc));
    mode = kModeNone;
    return TakeDialogOutcome();
}

void UserPicker::Compute() {
    available.Clear();
    for (long i = 0; i < UserList.Count(); ++i) {
        UserItem* u = nullptr;
        if (UserList.GetAt(i, &u) != 0 || u->m_Type != type) continue;
        UserItem* there = nullptr;
        if (chosen.FindByID(u->m_ID, &there) == 0) continue;
        UserItem* item = nullptr;
        if (available.Add(&item) != 0) return;
        item->m_ID = u->m_ID;
        item->m_Name = u->m_Name.view();
    }
}

namespace {
void FillNames(gui::Dialog& d, int box, UserListType& list) {
    d.ListClear(box);
    for (long i = 0; i < list.Count(); ++i) {
        UserItem* u = nullptr;
        if (list.GetAt(i, &u) == 0) d.ListAdd(box, u->m_Name.view());
    }
    d.ListSelect(box, 0);
}
}  // namespace

void UserPicker::Fill(gui::Dialog& d) {
    FillNames(d, kIdAppUsers, chosen);
    Compute();
    FillNames(d, kIdAllUsers, available);
}

bool UserPicker::Handle(gui::Dialog& d, const gui::DialogEvent& e) {
    if (e.id != kIdAddUser && e.id != kIdRemoveUser) return false;
    if (e.notify != gui::kClicked) return true;
    const bool add = e.id == kIdAddUser;
    UserListType& from = add ? available : chosen;
    UserItem* item = nullptr;
    int sel = d.ListSelection(add ? kIdAllUsers : kIdAppUsers);
    if (sel < 0 || from.GetAt(sel, &item) != 0) {
        Box(d.Handle(), "No User selected!");
        return true;
    }
    if (add) {
        UserItem* to = nullptr;
        if (chosen.Add(&to) != 0) return true;
        to->m_ID = item->m_ID;
        to->m_Name = item->m_Name.view();
    } else {
        chosen.Remove(item);
    }
    Fill(d);
    return true;
}

bool ConfirmDelete(gui::Window owner, std::function<void(gui::Dialog&)> onOk) {
    DialogOutcome = 0;
    gui::DialogBox(owner, kDeleteDialog,
                   OkCancelProc([](gui::Dialog& d) { d.SetText(kIdDeleteLine, DeleteText.view()); },
                                std::move(onOk)));
    return DialogOutcome == 1;
}

int ListBrowse::Paint() {
    gui::Painter* dc = m_BeginPaint();
    if (!dc) return 0;
    dc->SelectFixedFont();
    // Grey and black, navy for the header; the palette's where high contrast is asked for.
    const bool contrast = gui::HighContrast();
    const gui::Colour text =
        contrast ? gui::PaletteColour(gui::SysColour::Text) : gui::RGB(0, 0, 0);
    dc->SetBkColor(contrast ? gui::PaletteColour(gui::SysColour::Base) : gui::RGB(192, 192, 192));
    dc->SetTextColor(contrast ? text : gui::RGB(0, 0, 128));
    dc->TextOut(3, 1, m_Header);
    dc->SetTextColor(text);
    char line[512];
    for (long i = 0; i < m_LinesUsed; ++i) {
        // A record gone meanwhile (refilled by the transfer worker) leaves its line blank.
        if (!m_Kind.formatLine || !m_Kind.formatLine(m_Top + i, line, sizeof line)) continue;
        m_TextOut(dc, static_cast<int>(i), line, static_cast<int>(std::strlen(line)));
    }
    m_PaintCursor(dc);
    m_EndPaint();
    m_SetScrollPos();
    return 0;
}

std::string ListBrowse::RowText(long index) {
    char line[512];
    if (!m_Kind.formatLine || !m_Kind.formatLine(index, line, sizeof line)) return std::string();
    return line;
}

std::vector<std::string> ListBrowse::RowCells(long index) {
    if (!m_Kind.lineFormat) return {};
    return SplitColumns(m_Kind.lineFormat, RowText(index));
}

void ListWindow::Destroyed(gui::Window w) {
    if (m_Window == w) m_Window = 0;
    gui::Window frame = HostFrame();
    if (m_Kind.slot == kNoSlot) {
        if (m_Kind.onDestroy) m_Kind.onDestroy(w);
        if (gui::Menu menu = HostMenu(kFuncMenu); menu && frame) gui::AttachMenu(frame, menu);
        HostToolbar(2);
        return;
    }
    // Under REQ_MENU: the frame decides, once told, whether anything of the application
    // is left open.
    gui::CheckItem(HostMenu(kReqMenu), m_Kind.viewItem, false);
    if (TheHost().setSlot) TheHost().setSlot(m_Kind.slot, 0);
    if (m_Kind.onDestroy) m_Kind.onDestroy(w);
    if (frame) gui::SendCommand(frame, kCmdChildClosed);
}

void ListWindow::Register() {
    if (m_Registered) return;
    m_Registered = true;
    RegisterWindowResources();
    gui::RegisterClass(
        m_Kind.className, [this](gui::Window w, const gui::Message& m) { return Proc(w, m); },
        gui::RGB(192, 192, 192));
}

gui::Window ListWindow::Open(int width) {
    if (m_Kind.slot != kNoSlot && m_Window && gui::IsWindow(m_Window)) return m_Window;
    gui::Window frame = HostFrame();
    if (!frame) return 0;
    gui::Rect r = gui::WindowRectOf(gui::MdiClient(frame));
    int w = width > 0 ? width : r.Width() - 2;
    int h = r.Height() - 2;
    gui::Window child = gui::CreateChild(frame, m_Kind.className, m_Kind.fixedTitle, 1, 1, w, h);
    if (child) m_Window = child;
    return child;
}

void ListWindow::UpdateTitle() {
    if (!m_Window) return;
    m_TitleSuffix.clear();
    if (!m_Kind.fixedTitle.empty())
        gui::SetTitle(m_Window, m_Kind.fixedTitle);
    else
        gui::SetTitle(m_Window, CountedTitle(m_Kind.titleWord, m_Kind.count ? m_Kind.count() : 0));
}

void ListWindow::UpdateTitle(std::string_view suffix) {
    if (!m_Window) return;
    std::string title = CountedTitle(m_Kind.titleWord, m_Kind.count ? m_Kind.count() : 0);
    title += ' ';
    title += suffix;
    gui::SetTitle(m_Window, title);
    m_TitleSuffix = suffix;
}

void ListWindow::Reshow() {
    m_Browse.Reshow(m_Kind.count ? m_Kind.count() : 0);
}

void ListWindow::ReshowTitled() {
    Reshow();
    UpdateTitle();
}

void ListWindow::RefreshTo(long index, bool setTitle) {
    Reshow();
    if (setTitle) UpdateTitle();
    gui::SetWaitCursor();
    m_Browse.GotoRecord(index >= 0 ? index + 1 : 0);
    gui::SetArrowCursor();
}

void ListWindow::Refetch() {
    if (!m_Kind.refetch) return;
    const long keep = m_Browse.CurrentIndex();
    gui::SetWaitCursor();
    const int rc = m_Kind.refetch();
    gui::SetArrowCursor();
    const std::string suffix = m_TitleSuffix;
    Reshow();
    if (suffix.empty())
        UpdateTitle();
    else
        UpdateTitle(suffix);
    const long count = m_Kind.count ? m_Kind.count() : 0;
    if (keep > 0 && count > 0) m_Browse.GotoRecord(std::min(keep, count - 1) + 1);
    if (rc != 0) Box(m_Window, FailureText());
}

long ListWindow::Proc(gui::Window w, const gui::Message& m) {
    switch (m.msg) {
        case gui::Msg::Create: {
            m_Window = w;
            if (m_Kind.slot != kNoSlot && TheHost().setSlot) TheHost().setSlot(m_Kind.slot, w);
            m_Browse.FormatHeader();
            gui::SetWaitCursor();
            if (m_Kind.onCreate) m_Kind.onCreate(w);
            m_Browse.Create(w, m_Kind.count ? m_Kind.count() : 0);
            if (m_Kind.onDropFiles) gui::DragAcceptFiles(w, true);
            gui::Window frame = HostFrame();
            if (gui::Menu menu = m_Kind.menuName.empty() ? 0 : HostMenu(m_Kind.menuName);
                menu && frame) {
                if (m_Kind.onMenu) m_Kind.onMenu(menu);
                gui::AttachMenu(frame, menu);
            }
            gui::SetArrowCursor();
            // The layer keeps a title set here over the empty creation title.
            UpdateTitle();
            break;
        }
        case gui::Msg::Destroy:
            Destroyed(w);
            break;
        case gui::Msg::MdiActivate:
            if (m.wParam == 1 && m_Kind.onActivate) m_Kind.onActivate(w);
            break;
        case gui::Msg::Size:
            m_Browse.Size(m.lParam);
            break;
        case gui::Msg::Paint:
            m_Browse.Paint();
            break;
        case gui::Msg::VScroll:
            m_Browse.Vscroll(static_cast<unsigned short>(m.wParam), m.lParam);
            break;
        case gui::Msg::LButtonDown:
            m_Browse.Goto(m.lParam);
            break;
        case gui::Msg::LButtonDblClk:
            if (m_Kind.defaultCommand) gui::PostCommand(w, m_Kind.defaultCommand);
            break;
        case gui::Msg::RButtonDown:
            gui::MdiDestroy(w);
            break;
        case gui::Msg::KeyDown:
            switch (m.wParam) {
                case gui::kVkReturn:
                    if (m_Kind.defaultCommand) gui::PostCommand(w, m_Kind.defaultCommand);
                    break;
                case gui::kVkEscape:
                    gui::MdiDestroy(w);
                    break;
                case gui::kVkPrior:
                case gui::kVkNext:
                case gui::kVkEnd:
                case gui::kVkHome:
                case gui::kVkUp:
                case gui::kVkDown:
                    m_Browse.Keydown(static_cast<unsigned short>(m.wParam));
                    break;
                default:
                    break;
            }
            break;
        case gui::Msg::Command:
            if (gui::IsIconic(w)) break;
            if (m.id == kCmdRefresh)
                Refetch();
            else if (m_Kind.onCommand)
                m_Kind.onCommand(w, m.id);
            break;
        case gui::Msg::DropFiles:
            if (!gui::IsIconic(w) && m_Kind.onDropFiles) m_Kind.onDropFiles(w, gui::DroppedFiles());
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace qvw
