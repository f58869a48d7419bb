// The connect dialog: checks the connection fields, fills the server address and logs in,
// telling the user in its status line what happened.
#include "studio/shell/ConnectDialog.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/os/Files.h"
#include "studio/session/ServerSession.h"
#include "studio/shell/Shell.h"
#include "studio/shell/StudioSettings.h"

namespace shell {
namespace {

enum : int {
    kOk = 1,
    kCancel = 2,
    kIp1 = 201,
    kIp2 = 202,
    kIp3 = 203,
    kIp4 = 204,
    kPort = 205,
    kUserName = 206,
    kPassword = 207,
    kStatus = 208,
    kSshHost = 209,
    kOpen = 128,
    kSaveAs = 129,
};

void ShowStatus(gui::Dialog& dlg, const char* text) {
    Session.m_Status = text;
    dlg.SetText(kStatus, Session.m_Status.c_str());
}

// The login failed one way or another: OK again, not connected, the arrow back.
void LoginFailed(gui::Dialog& dlg, const char* text) {
    dlg.Enable(kOk, true);
    Session.m_Connected = 0;
    ShowStatus(dlg, text);
    gui::SetArrowCursor();
}

std::string Trimmed(std::string text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

int Number(const gui::Dialog& dlg, int id, int maxChars) {
    return std::atoi(dlg.Text(id, maxChars).c_str());
}

void OnOk(gui::Dialog& dlg) {
    StudioSettings& s = Settings();
    // Stored before they are checked: a refused value is still what Save As writes.
    s.SetIp1(Number(dlg, kIp1, 3));
    s.SetIp2(Number(dlg, kIp2, 3));
    s.SetIp3(Number(dlg, kIp3, 3));
    s.SetIp4(Number(dlg, kIp4, 3));
    s.SetPort(Number(dlg, kPort, 5));
    s.SetUserName(dlg.Text(kUserName, 20).c_str());
    s.SetUserPassword(dlg.Text(kPassword, 20).c_str());
    s.SetSshHost(Trimmed(dlg.Text(kSshHost, 255)).c_str());

    const int ip[4] = {s.GetIp1(), s.GetIp2(), s.GetIp3(), s.GetIp4()};
    for (int b : ip) {
        if (b < 0 || b > 255) return ShowStatus(dlg, "Incorrect IP Address!");
    }
    if (s.GetPort() < 1 || s.GetPort() > 64000) return ShowStatus(dlg, "Incorrect Port!");
    if (s.GetUserName()[0] == '\0') return ShowStatus(dlg, "No User Name!");
    if (s.GetUserPassword()[0] == '\0') return ShowStatus(dlg, "No User Password!");
    net::SshDestination ssh;
    if (s.GetSshHost()[0] != '\0' && !net::ParseSshDestination(s.GetSshHost(), ssh))
        return ShowStatus(dlg, "Incorrect SSH Host!");

    Session.m_ServerAddress = net::MakeAddress(ip[0], ip[1], ip[2], ip[3], s.GetPort());
    Credentials.m_UserName = s.GetUserName();
    Credentials.m_Password = s.GetUserPassword();
    Session.SetSshHost(s.GetSshHost());

    dlg.Enable(kOk, false);
    gui::SetWaitCursor();
    ShowStatus(dlg, "Connecting . . .");
    // The exchange runs right here; show the status before the server is reached.
    dlg.Refresh();

    if (Session.Execute(kCmdLogin) != 0) {
        // Through SSH the reason is ssh's (host key, authentication, forward): say it.
        if (s.GetSshHost()[0] == '\0' || Session.GetErrorText()[0] == '\0')
            return LoginFailed(dlg, "Server not found");
        LoginFailed(dlg, "SSH connection failed");
        gui::MessageBox(dlg.Handle(), Session.GetErrorText(), "Quorvel Studio");
        return;
    }
    int rc = Session.ParseResponse(kCmdLogin);
    if (rc == kLoginFailed) return LoginFailed(dlg, "Login failed!");
    if (rc != kLoginOk) return LoginFailed(dlg, "Server not found");
    Session.m_Connected = 1;
    ShowStatus(dlg, "Connected");
    gui::SetArrowCursor();
    dlg.End(0);
}

}  // namespace

void InitConnectDlg(gui::Dialog& dlg) {
    StudioSettings& s = Settings();
    std::string caption = "Connect ";
    if (std::strlen(s.GetName()) < 51) caption += s.GetName();
    dlg.SetTitle(caption);
    // The dialog always offers the local server first, whatever a profile said.
    s.SetIp1(127);
    s.SetIp2(0);
    s.SetIp3(0);
    s.SetIp4(1);
    dlg.SetText(kIp1, s.GetIp1Text());
    dlg.SetText(kIp2, s.GetIp2Text());
    dlg.SetText(kIp3, s.GetIp3Text());
    dlg.SetText(kIp4, s.GetIp4Text());
    dlg.SetText(kPort, s.GetPortText());
    dlg.SetText(kUserName, s.GetUserName());
    dlg.SetText(kPassword, s.GetUserPassword());
    dlg.SetText(kSshHost, s.GetSshHost());
    Session.m_Connected = 0;
    ShowStatus(dlg, "Disconnected");
}

bool ConnectDlgProc(gui::Dialog& dlg, const gui::DialogEvent& e) {
    if (e.kind == gui::DialogEventKind::Init) {
        InitConnectDlg(dlg);
        return true;
    }
    switch (e.id) {
        case kOk:
            OnOk(dlg);
            return true;
        case kCancel:
            Session.m_Connected = 0;
            Session.CloseTunnel();  // of a login that failed through SSH
            dlg.End(0);
            return true;
        case kOpen:
            OpenProfile(dlg.Handle());
            InitConnectDlg(dlg);
            return true;
        case kSaveAs:
            SaveProfileAs(dlg.Handle());
            return true;
        default:
            return false;
    }
}

namespace {

gui::FileDialogSpec ProfileDialogSpec(const char* fileName) {
    gui::FileDialogSpec spec;
    spec.filterName = "Connection Files (*.con)";
    spec.pattern = "*.con";
    spec.folder = StartDirectory();
    spec.fileName = fileName;
    return spec;
}

}  // namespace

void OpenProfile(gui::Window owner) {
    std::string path;
    if (!gui::GetOpenFileName(owner, ProfileDialogSpec(""), path)) return;
    Settings().Load(path.c_str());
}

void SaveProfileAs(gui::Window owner) {
    std::string path;
    if (!gui::GetSaveFileName(owner, ProfileDialogSpec("*.con"), path)) return;
    Settings().Save(path.c_str());
}

}  // namespace shell
