#include "studio/windows/UserWindow.h"

#include <cstdio>
#include <string>

#include "studio/resources/WindowResources.h"
#include "studio/windows/Columns.h"

namespace qvw {

namespace {

constexpr const char* kLineFormat = "%-20.20s %-20.20s %s";
constexpr int kWidth = 500;
// The administrator: edited and given passwords like anyone, never deleted.
constexpr long kAdministrator = 0;

int UserMode = kModeNone;

void UserDialogInit(gui::Dialog& d) {
    const bool edit = UserMode == kModeEdit;
    d.SetTitle(edit ? "Edit User" : "New User");
    d.SetText(kIdUserName, edit ? CurrentUser.m_Name.view() : "");
    d.SetText(kIdUserDescription, edit ? CurrentUser.m_Description.view() : "");
    d.ListClear(kIdUserType);
    d.ListAdd(kIdUserType, "Dev");
    d.ListAdd(kIdUserType, "Run");
    d.ListSelect(kIdUserType, edit && CurrentUser.m_Type != 0 ? 1 : 0);
}

void UserDialogOk(gui::Dialog& d) {
    const gui::Window self = d.Handle();
    CurrentUser.m_Name = d.Text(kIdUserName, 20);
    CurrentUser.m_Description = d.Text(kIdUserDescription, 50);
    CurrentUser.m_Type = d.ListSelection(kIdUserType) == 1 ? 1 : 0;
    if (CurrentUser.m_Name.empty()) {
        Box(self, "No User Name!");
        return;
    }
    if (RefuseName(self, "User name", CurrentUser.m_Name.view(), 20) ||
        RefuseArgumentBreakers(self, {CurrentUser.m_Description.view()}, "Description"))
        return;
    if (NameTaken(UserList, CurrentUser.m_Name.c_str(), UserMode == kModeNew, CurrentUser.m_ID)) {
        Box(self, "User exists!");
        return;
    }
    SendRefillAndClose(d, UserMode == kModeNew ? kCmdNewUser : kCmdEditUser, UserList);
}

void PasswordInit(gui::Dialog& d) {
    d.SetTitle("User Password");
    d.SetText(kIdUserName, CurrentUser.m_Name.view());
    d.SetText(kIdUserPassword, "");
    d.SetText(kIdUserPasswordAgain, "");
}

void PasswordOk(gui::Dialog& d) {
    CurrentUser.m_Password = d.Text(kIdUserPassword, 20);
    if (CurrentUser.m_Password.empty()) {
        Box(d.Handle(), "No User Password!");
        return;
    }
    if (!PasswordsMatch(d.Handle(), CurrentUser.m_Password.view(),
                        d.Text(kIdUserPasswordAgain, 20)))
        return;
    // UserPwd carries the password before the id: a "," in it would give the password to
    // whichever user the rest names.
    if (RefuseArgumentBreakers(d.Handle(), {CurrentUser.m_Password.view()}, "Password")) return;
    SendRefillAndClose(d, kCmdUserPwd, UserList);
}

// Copies the current record into CurrentUser; false on an empty list.
bool TakeCurrent() {
    return WithRecordAt(UserList, UserWindow().Browse().CurrentIndex(), [](UserItem& u) {
        CurrentUser.m_Name = u.m_Name.view();
        CurrentUser.m_Description = u.m_Description.view();
        CurrentUser.m_ID = u.m_ID;
        CurrentUser.m_Type = u.m_Type;
    });
}

void OnCommand(gui::Window w, int id) {
    ListWindow& win = UserWindow();
    switch (id) {
        case kCmdNew:
            if (RunEditDialog(w, kUserDialog, UserMode, kModeNew,
                              OkCancelProc(UserDialogInit, UserDialogOk)))
                win.RefreshTo(IndexByName(UserList, CurrentUser.m_Name.c_str()));
            break;
        case kCmdEdit:
            if (TakeCurrent() && RunEditDialog(w, kUserDialog, UserMode, kModeEdit,
                                               OkCancelProc(UserDialogInit, UserDialogOk)))
                win.RefreshTo(IndexByID(UserList, CurrentUser.m_ID));
            break;
        case kCmdDelete:
            if (!TakeCurrent()) break;
            if (CurrentUser.m_ID == kAdministrator) {
                Box(w, "The administrator " + CurrentUser.m_Name.str() + " cannot be deleted.");
                break;
            }
            if (ConfirmAndDelete(w, "User", CurrentUser.m_Name.c_str(), kCmdDeleteUser, UserList))
                win.Reshow();
            break;
        case kCmdPassword: {
            if (!TakeCurrent()) break;
            gui::DialogBox(w, kUserPwdDialog, OkCancelProc(PasswordInit, PasswordOk));
            // The list records carry no password; neither does the record after the command.
            CurrentUser.m_Password = "";
            if (TakeDialogOutcome()) win.RefreshTo(IndexByID(UserList, CurrentUser.m_ID));
            break;
        }
        default:  // Open: nothing here
            break;
    }
}

ListWindowKind MakeKind() {
    ListWindowKind k;
    k.className = kUserClassName;
    k.fixedTitle = "Users";
    k.menuName = "USER_MENU";
    k.defaultCommand = kCmdEdit;
    k.columns = {"Name", "Description", "Type"};
    k.lineFormat = kLineFormat;
    k.header = [] { return FormatColumns(kLineFormat, {"Name", "Description", "Type"}); };
    k.formatLine = [](long index, char* buf, std::size_t size) {
        return WithRecordAt(UserList, index, [buf, size](UserItem& u) {
            FormatColumns(buf, size, kLineFormat,
                          {u.m_Name.view(), u.m_Description.view(), UserTypeText(u.m_Type)});
        });
    };
    k.count = [] { return UserList.Count(); };
    k.refetch = [] { return Fetch(UserList, kCmdGetUsers); };
    k.onCreate = [](gui::Window) { Fetch(UserList, kCmdGetUsers); };
    k.onDestroy = [](gui::Window) { UserList.Clear(); };
    k.onCommand = OnCommand;
    return k;
}

}  // namespace

const char* UserTypeText(long type) {
    return type == 0 ? "Dev" : type == 1 ? "Run" : "???";
}

ListWindow& UserWindow() {
    static ListWindow window(MakeKind());
    return window;
}

void RegisterUserWindow() {
    UserWindow().Register();
}

gui::Window OpenUsers() {
    RegisterUserWindow();
    return UserWindow().Open(kWidth);
}

}  // namespace qvw
