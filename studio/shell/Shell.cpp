// The studio's frame: start-up, the six menus, the toolbar sets, the titles and the routing
// of every menu and toolbar command.
#include "studio/shell/Shell.h"

#include <array>
#include <cstdio>
#include <map>
#include <span>
#include <vector>

#include "platform/os/Files.h"
#include "platform/os/System.h"
#include "studio/resources/ShellResources.h"
#include "studio/session/ServerSession.h"
#include "studio/shell/ConnectDialog.h"
#include "studio/shell/StudioSettings.h"

namespace shell {
namespace {

constexpr const char* kTitle = "Quorvel Studio";
constexpr const char* kMenuNames[] = {"MAIN_MENU", "FUNC_MENU", "APP_MENU",
                                      "REQ_MENU",  "DS_MENU",   "USER_MENU"};
constexpr int kSlotCount = 5;
constexpr int kLogoutTimeoutMs = 3000;
// The command ids that open each child slot, in the order of ChildSlot.
constexpr int kSlotCommand[kSlotCount] = {123, 124, 125, 126, 132};

struct ShellState {
    os::InstanceLock instance;
    gui::Font logoLarge = 0;
    gui::Font logoSmall = 0;
    gui::Window frame = 0;
    std::map<std::string, gui::Menu, std::less<>> menus;
    std::array<gui::Window, kSlotCount> children{};
    WindowHooks hooks;
    std::function<void()> firstPaint;
};

ShellState& State() {
    static ShellState s;
    return s;
}

gui::Menu Menu(const char* name) {
    auto it = State().menus.find(name);
    return it == State().menus.end() ? 0 : it->second;
}

void Attach(const char* name) {
    gui::AttachMenu(State().frame, Menu(name));
}

bool Exists(ChildSlot slot) {
    gui::Window w = ChildHandle(slot);
    return w != 0 && gui::IsWindow(w);
}

bool AnyChildOpen() {
    for (int i = 0; i < kSlotCount; ++i) {
        if (Exists(static_cast<ChildSlot>(i))) return true;
    }
    return false;
}

// REQ_MENU's View items are checked while their window is open.
void SyncViewChecks() {
    for (int i = 0; i < kSlotCount; ++i)
        gui::CheckItem(Menu("REQ_MENU"), kSlotCommand[i], Exists(static_cast<ChildSlot>(i)));
}

void ConnectedState() {
    SetConnectedTitle();
    Attach("FUNC_MENU");
}

void PaintLogo(gui::Window mdiClient) {
    gui::Painter* p = gui::BeginPaint(mdiClient);
    if (!p) return;
    p->SetBkTransparent(true);
    p->SetBkColor(gui::RGB(192, 192, 192));
    p->SelectFont(State().logoLarge);
    p->SetTextColor(gui::RGB(0, 0, 0));
    p->TextOut(13, 13, "Quorvel");
    p->SetTextColor(gui::RGB(0, 128, 0));
    p->TextOut(10, 10, "Quorvel");
    p->SelectFont(State().logoSmall);
    p->SetTextColor(gui::RGB(0, 0, 128));
    p->TextOut(147, 47, "Studio");
    gui::EndPaint(mdiClient);
}

bool AboutDlgProc(gui::Dialog& dlg, const gui::DialogEvent& e) {
    if (e.kind == gui::DialogEventKind::Init) return true;
    if (e.id == 1 || e.id == 2) {
        dlg.End(e.id);
        return true;
    }
    return false;
}

void OnConnect() {
    os::EnterStartDirectory();
    gui::DialogBox(State().frame, kConnectDialog, ConnectDlgProc);
    if (Session.m_Connected != 1) return;
    ConnectedState();
    // Set both ways: the menu lives as long as the frame, across logins of other users.
    const bool restricted = LoginUserID != 0;
    gui::GreyItem(Menu("FUNC_MENU"), 104, restricted);
    gui::GreyItem(Menu("FUNC_MENU"), 105, restricted);
    ClearToolbar();
    SetToolbar(2);
}

void OnDisconnect() {
    if (Session.Execute(kCmdLogout) == 0) Session.ParseResponse(kCmdLogout);
    Session.m_Connected = 0;
    Session.CloseTunnel();
    Session.m_Status = "Disconnected";
    gui::SetTitle(State().frame, kTitle);
    Attach("MAIN_MENU");
    ClearToolbar();
    SetToolbar(1);
}

void OnProfile(int id) {
    char fileName[101];
    Settings().GetProfileFileName(id, fileName);
    os::EnterStartDirectory();
    Settings().Load(fileName);
    gui::PostCommand(State().frame, 101);
}

// Requests, Htmls, Images, Data, Files: a second choice closes the window.
void ToggleChild(ChildSlot slot, int id) {
    ShellState& s = State();
    if (Exists(slot)) {
        gui::MdiDestroy(ChildHandle(slot));
        SyncViewChecks();
        return;
    }
    if (slot == ChildSlot::Requests) {
        if (!s.hooks.openRequests) return;
        SetApplicationTitle(CurrentApp.m_Name.c_str());
        Attach("REQ_MENU");
        gui::CheckItem(Menu("REQ_MENU"), 123, true);
        s.hooks.openRequests();
        return;
    }
    if (!s.hooks.openFileWindow) return;
    gui::CheckItem(Menu("REQ_MENU"), id, true);
    s.hooks.openFileWindow(id);
}

long OnCommand(gui::Window frame, int id, long wParam) {
    ShellState& s = State();
    if (id >= kFirstProfileCommand && id <= kFirstProfileCommand + 9) {
        OnProfile(id);
        return 0;
    }
    switch (id) {
        case 101:
            OnConnect();
            break;
        case 102:
            OnDisconnect();
            break;
        case 103:
            if (!s.hooks.openApplications) break;
            ClearToolbar();
            SetToolbar(3);
            gui::SetWaitCursor();
            AppList.Clear();
            if (Session.Execute(kCmdGetApps) == 0) Session.ParseResponse(kCmdGetApps);
            gui::SetArrowCursor();
            s.hooks.openApplications();
            break;
        case 104:
        case 105: {
            auto& hook = id == 104 ? s.hooks.openDataSources : s.hooks.openUsers;
            // Greyed for a restricted session; refused here too, whichever way it came.
            if (!hook || LoginUserID != 0) break;
            ClearToolbar();
            SetToolbar(4);
            hook();
            break;
        }
        case 106:
            if (s.hooks.runMonitor) s.hooks.runMonitor();
            break;
        case 107:
            gui::DialogBox(frame, kAboutDialog, AboutDlgProc);
            break;
        case 108:
            gui::DestroyWindow(frame);
            break;
        case 109:
        case 110:
        case 111:
        case 112:
        case 113:
        case 115:
        case 116:
        case 117:
        case 134:  // Refresh
            if (gui::Window child = gui::ActiveChild(frame)) gui::SendCommand(child, id, wParam);
            break;
        case 135:  // Find in Scripts searches the Requests window's list, whichever is active
            if (Exists(ChildSlot::Requests))
                gui::SendCommand(ChildHandle(ChildSlot::Requests), id, wParam);
            break;
        case 118:
            gui::Cascade(frame);
            break;
        case 119:
            gui::Tile(frame, true);
            break;
        case 120:
            gui::Tile(frame, false);
            break;
        case 121:
            gui::ArrangeIcons(frame);
            break;
        case 122:
            for (int i = 0; i < kSlotCount; ++i) {
                if (Exists(static_cast<ChildSlot>(i)))
                    gui::MdiDestroy(ChildHandle(static_cast<ChildSlot>(i)));
            }
            SyncViewChecks();
            if (Session.m_Connected == 1) ConnectedState();
            break;
        case 123:
            ToggleChild(ChildSlot::Requests, id);
            break;
        case 124:
            ToggleChild(ChildSlot::Htmls, id);
            break;
        case 125:
            ToggleChild(ChildSlot::Images, id);
            break;
        case 126:
            ToggleChild(ChildSlot::Data, id);
            break;
        case 132:
            ToggleChild(ChildSlot::Files, id);
            break;
        case 127:
            SyncViewChecks();
            // Not connected there is no connected state to return to.
            if (AnyChildOpen() || Session.m_Connected != 1) break;
            ConnectedState();
            ClearToolbar();
            SetToolbar(2);
            break;
        default:
            break;
    }
    return 0;
}

// Logging out at exit happens while the frame still shows, with a short bound: a server
// that never answers must not keep an invisible studio holding the single-instance lock.
void LogoutWhileShown(gui::Window frame) {
    if (Session.m_Connected != 1) return;
    gui::SetStatusText(frame, "Disconnecting\u2026");
    gui::UpdateNow(frame);
    const int connectMs = Session.GetConnectTimeout(), idleMs = Session.GetIdleTimeout();
    Session.SetTimeouts(kLogoutTimeoutMs, kLogoutTimeoutMs);
    Session.Execute(kCmdLogout);  // a failed logout at exit changes nothing for anybody
    Session.SetTimeouts(connectMs, idleMs);
    Session.m_Connected = 0;
}

void OnCreate(gui::Window frame) {
    ShellState& s = State();
    s.frame = frame;
    s.children.fill(0);
    s.menus.clear();
    for (const char* name : kMenuNames) s.menus[name] = gui::LoadMenu(name);
    Attach("MAIN_MENU");
}

void OnDestroy(gui::Window frame) {
    ShellState& s = State();
    LogoutWhileShown(frame);
    int x = 0, y = 0, w = 0, h = 0;
    gui::GetFramePlacement(frame, x, y, w, h);
    for (auto& [name, menu] : s.menus) gui::DestroyMenu(menu);
    s.menus.clear();
    Settings().SetFramePlacement(x, y, w, h);
    os::EnterStartDirectory();
    Settings().Save(kConfigFileName);
    Settings().ClearProfiles();
    s.frame = 0;
    gui::Quit(0);
}

long FrameWndProc(gui::Window w, const gui::Message& m) {
    switch (m.msg) {
        case gui::Msg::Create:
            OnCreate(w);
            return 0;
        case gui::Msg::Paint:
            PaintLogo(gui::MdiClient(w));
            if (State().firstPaint) {
                auto hook = std::move(State().firstPaint);
                State().firstPaint = nullptr;
                hook();
            }
            return 0;
        case gui::Msg::Destroy:
            OnDestroy(w);
            return 0;
        case gui::Msg::Command:
            return OnCommand(w, m.id, m.wParam);
        default:
            return 0;
    }
}

std::string ConnectedTitle() {
    StudioSettings& st = Settings();
    char text[200];
    std::snprintf(text, sizeof text, "%s - %s [%i.%i.%i.%i:%i]", kTitle, st.GetName(), st.GetIp1(),
                  st.GetIp2(), st.GetIp3(), st.GetIp4(), st.GetPort());
    if (Session.GetSshHost().empty()) return text;
    return text + (" via SSH " + Session.GetSshHost());
}

// What ssh asks while connecting, asked in a dialog of the studio: a password or a
// passphrase, or whether to trust a host key it does not know (the prompt names the host
// and the key's fingerprint). A changed key is never asked about: ssh refuses it.
bool AskForSsh(const std::string& prompt, bool hostKey, std::string& answer) {
    const bool trusted =
        gui::DialogBox(State().frame, hostKey ? kSshHostKeyDialog : kSshQuestionDialog,
                       [&](gui::Dialog& d, const gui::DialogEvent& e) {
                           if (e.kind == gui::DialogEventKind::Init) {
                               d.SetText(301, prompt);
                               if (!hostKey) d.SetFocus(302);
                               return true;
                           }
                           if (e.id == 1) {
                               answer = hostKey ? "yes" : d.Text(302, 1024);
                               d.End(1);
                               return true;
                           }
                           if (e.id == 2) {
                               d.End(0);
                               return true;
                           }
                           return false;
                       }) == 1;
    if (!trusted) answer.clear();
    return trusted;
}

}  // namespace

StudioSettings& Settings() {
    static StudioSettings settings;
    return settings;
}

void SetWindowHooks(WindowHooks hooks) {
    State().hooks = std::move(hooks);
}

gui::Window Frame() {
    return State().frame;
}

gui::Menu MenuByName(const std::string& name) {
    return Menu(name.c_str());
}

void ClearToolbar() {
    gui::ClearToolbar(State().frame);
}

void SetToolbar(int set) {
    using gui::ToolButton;
    const bool full = LoginUserID == 0;
    // New, Edit, Delete and Upload, Download recur in several sets, in this order.
    static const ToolButton kEditButtons[] = {{gui::kStdFileNew, 109, true, "New"},
                                              {gui::kStdProperties, 110, true, "Edit"},
                                              {gui::kStdDelete, 111, true, "Delete"}};
    static const ToolButton kTransferButtons[] = {{gui::kStdRedoW, 116, true, "Upload"},
                                                  {gui::kStdUndo, 115, true, "Download"}};
    std::vector<ToolButton> b;
    std::vector<std::pair<int, std::string>> tips;  // profiles reached through SSH say so
    auto add = [&b](std::span<const ToolButton> more) {
        b.insert(b.end(), more.begin(), more.end());
    };
    switch (set) {
        case 1: {
            ProfileList& list = Settings().Profiles();
            const long n = list.Count();
            for (long i = 0; i < n; ++i) {
                ProfileEntry* e = nullptr;
                if (list.GetAt(i, &e) != kListOk || !e) continue;
                b.push_back({gui::kStdFileOpen, kFirstProfileCommand + static_cast<int>(i), true,
                             e->m_Name.c_str()});
                if (!e->m_SshHost.empty())
                    tips.emplace_back(b.back().id, std::string(e->m_Name.c_str()) + " via SSH " +
                                                       e->m_SshHost.c_str());
            }
            break;
        }
        case 2:
            b.push_back({gui::kStdFileOpen, 103, true, "Applications"});
            if (full) {
                b.push_back({gui::kStdFileOpen, 104, true, "Data Sources"});
                b.push_back({gui::kStdFileOpen, 105, true, "Users"});
            }
            b.push_back({gui::kStdFind, 106, true, "Monitor"});
            b.push_back({gui::kImageNone, 102, true, "Disconnect"});
            break;
        case 3:
            b.push_back({gui::kStdFileOpen, 112, true, "Open"});
            if (full) {
                add(kEditButtons);
                add(kTransferButtons);
            }
            break;
        case 4:
            add(kEditButtons);
            b.push_back({gui::kStdReplace, 113, true, "Password"});
            break;
        case 5:
            add(kEditButtons);
            add(kTransferButtons);
            break;
        case 6:
            b.push_back({gui::kStdDelete, 111, true, "Delete"});
            b.push_back({gui::kStdProperties, 117, true, "Rename"});
            add(kTransferButtons);
            break;
        default:
            return;
    }
    gui::AddToolButtons(State().frame, b);
    for (const auto& [id, tip] : tips) gui::SetToolButtonTip(State().frame, id, tip);
}

void SetConnectedTitle() {
    gui::SetTitle(State().frame, ConnectedTitle());
}

void SetApplicationTitle(const std::string& appName) {
    gui::SetTitle(State().frame, ConnectedTitle() + " Application: " + appName);
}

gui::Window& ChildHandle(ChildSlot slot) {
    return State().children[static_cast<std::size_t>(slot)];
}

const std::string& StartDirectory() {
    return os::GetStartDirectory();
}

void OnFirstPaint(std::function<void()> hook) {
    State().firstPaint = std::move(hook);
}

namespace {
constexpr int kStudioConnectTimeoutMs = 10000;
}  // namespace

int Start() {
    ShellState& s = State();
    os::RecordStartDirectory();
    if (!s.instance.Acquire("wm")) {
        gui::MessageBox(0, "Quorvel Studio is already running!", kTitle);
        return -1;
    }
    if (Settings().Load(kConfigFileName) != 0) {
        char text[64];
        std::snprintf(text, sizeof text, "File %s not found!", kConfigFileName);
        gui::MessageBox(0, text, kTitle);
        s.instance.Release();
        return -1;
    }
    s.logoLarge = gui::CreateFont("Arial", 45, 900, true);
    s.logoSmall = gui::CreateFont("Arial", 20, 900, true);
    // The session's boxes are owned by the frame while there is one.
    SetReportHook([](const char* text, const char* caption) {
        gui::MessageBox(State().frame, text ? text : "", caption ? caption : kTitle);
    });
    Session.SetSshAsker(AskForSsh);
    StudioSettings& st = Settings();
    gui::FrameSpec spec;
    spec.title = kTitle;
    spec.x = st.GetX();
    spec.y = st.GetY();
    spec.width = st.GetWidth();
    spec.height = st.GetHeight();
    spec.clientBackground = gui::RGB(171, 171, 171);  // the usual application workspace
    gui::CreateFrame(spec, FrameWndProc);
    st.ListProfiles();
    SetToolbar(1);
    gui::ShowFrame(s.frame);
    return 0;
}

void Finish() {
    ShellState& s = State();
    if (s.frame) gui::DestroyWindow(s.frame);
    // A failed logout at exit changes nothing for anybody.
    if (Session.m_Connected == 1) Session.Execute(kCmdLogout);
    Session.m_Connected = 0;
    Session.CloseTunnel();
    Session.SetSshAsker(nullptr);
    SetReportHook(nullptr);
    gui::DeleteFont(s.logoLarge);
    gui::DeleteFont(s.logoSmall);
    s.logoLarge = s.logoSmall = 0;
    s.instance.Release();
}

int Run(int argc, char** argv) {
    gui::Application app(argc, argv);
    // The connect dialog waits on the window thread: a server that never accepts must
    // not freeze the studio for the full idle limit. Answers keep the idle limit.
    Session.SetTimeouts(kStudioConnectTimeoutMs, Session.GetIdleTimeout());
    RegisterShellResources();
    gui::SetAppIcon(AppIconXpm());
    if (Start() != 0) return -1;
    int rc = app.Run();
    Finish();
    return rc;
}

}  // namespace shell
