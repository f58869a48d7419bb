// Menus, dialogs and the icon of the shell, as data for the windowing layer.
#include "studio/resources/ShellResources.h"

#include "platform/gui/Templates.h"

namespace {

using gui::ControlKind;
using gui::DialogTemplate;
using gui::MenuTemplate;
using gui::Popup;

constexpr bool kGrey = true;

// The Window popup: greyed everywhere but in the Requests and file windows' menu; the open
// windows are listed after its items.
Popup WindowPopup(bool grey) {
    return {"&Window",
            {{118, "Cascade", grey},
             {119, "Tile Horizontally", grey},
             {120, "Tile Vertically", grey},
             {121, "Arrange icons", grey},
             {122, "Close All", grey}},
            true};
}
Popup ViewPopup(const char* title) {
    return {title, {{123, "Requests", kGrey}, {132, "Files", kGrey}}};
}
// Refresh (F5) fetches the active list window's list again.
constexpr gui::MenuItem kRefreshItem{134, "Refresh", false, false, "F5"};
// The View popup of a list window's own menu.
Popup ListViewPopup() {
    Popup p = ViewPopup("View");
    p.items.push_back({0});
    p.items.push_back(kRefreshItem);
    return p;
}
Popup HelpPopup() {
    return {"&Help", {{107, "About"}}};
}
Popup ObjectFilePopup() {
    return {"&File",
            {{109, "New"}, {110, "Edit"}, {111, "Delete"}, {113, "Password"}, {0}, {108, "Exit"}}};
}

const MenuTemplate kMainMenu{"MAIN_MENU",
                             {{"&File", {{101, "Connect"}, {0}, {108, "Exit"}}},
                              ViewPopup("&View"),
                              WindowPopup(kGrey),
                              HelpPopup()}};

const MenuTemplate kFuncMenu{"FUNC_MENU",
                             {{"&File",
                               {{103, "Applications"},
                                {0},
                                {104, "Data &Sources"},
                                {105, "Users"},
                                {0},
                                {106, "Monitor"},
                                {0},
                                {102, "Disconnect"},
                                {108, "Exit"}}},
                              ViewPopup("&View"),
                              WindowPopup(kGrey),
                              HelpPopup()}};

const MenuTemplate kAppMenu{"APP_MENU",
                            {{"&File",
                              {{112, "Open"},
                               {109, "New"},
                               {110, "Edit"},
                               {111, "Delete"},
                               {0},
                               {116, "Upload"},
                               {0},
                               {115, "Download"},
                               {0},
                               {108, "Exit"}}},
                             ListViewPopup(),
                             WindowPopup(kGrey),
                             HelpPopup()}};

// The Requests and file windows' menu offers the three file lists beside Requests and Files.
const MenuTemplate kReqMenu{"REQ_MENU",
                            {{"&File",
                              {{109, "New"},
                               {110, "Edit"},
                               {111, "Delete"},
                               {117, "Rename"},
                               {0},
                               {116, "Upload"},
                               {0},
                               {115, "Download"},
                               {0},
                               {108, "Exit"}}},
                             {"View",
                              {{123, "Requests"},
                               {124, "Htmls"},
                               {125, "Images"},
                               {126, "Data"},
                               {132, "Files"},
                               {0},
                               kRefreshItem,
                               {135, "Find in Scripts...", false, false, "Ctrl+Shift+F"}}},
                             WindowPopup(false),
                             HelpPopup()}};

const MenuTemplate kDsMenu{"DS_MENU",
                           {ObjectFilePopup(), ListViewPopup(), WindowPopup(kGrey), HelpPopup()}};
const MenuTemplate kUserMenu{"USER_MENU",
                             {ObjectFilePopup(), ListViewPopup(), WindowPopup(kGrey), HelpPopup()}};

const MenuTemplate kFileMenu{"FILE_MENU", {{"&File", {{128, "Open"}, {129, "Save As..."}}}}};

// Labels flush right against their fields; every row is 12 units high, 18 apart.
const DialogTemplate kConnect{
    kConnectDialog,
    "Connect ",
    200,
    198,
    {
        {ControlKind::Label, -1, "IP Address :", 6, 10, 64, 12, gui::kAlignRight},
        {ControlKind::Edit, 201, "", 76, 10, 24, 12, gui::kDigits, 3},
        {ControlKind::Label, -1, ".", 100, 10, 6, 12},
        {ControlKind::Edit, 202, "", 106, 10, 24, 12, gui::kDigits, 3},
        {ControlKind::Label, -1, ".", 130, 10, 6, 12},
        {ControlKind::Edit, 203, "", 136, 10, 24, 12, gui::kDigits, 3},
        {ControlKind::Label, -1, ".", 160, 10, 6, 12},
        {ControlKind::Edit, 204, "", 166, 10, 24, 12, gui::kDigits, 3},
        {ControlKind::Label, -1, "Port :", 6, 28, 64, 12, gui::kAlignRight},
        {ControlKind::Edit, 205, "", 76, 28, 36, 12, gui::kDigits, 5},
        {ControlKind::Label, -1, "User Name :", 6, 46, 64, 12, gui::kAlignRight},
        {ControlKind::Edit, 206, "", 76, 46, 114, 12},
        {ControlKind::Label, -1, "User Password :", 6, 64, 64, 12, gui::kAlignRight},
        {ControlKind::Edit, 207, "", 76, 64, 114, 12, gui::kPassword},
        {ControlKind::Label, -1, "SSH Host :", 6, 82, 64, 12, gui::kAlignRight},
        {ControlKind::Edit, 209, "", 76, 82, 114, 12, 0, 255},
        {ControlKind::Label, -1,
         "Optional, [user@]host[:port]: the server is reached through this SSH host, and "
         "the IP address is the server's as that host sees it (often 127.0.0.1).",
         76, 96, 118, 48, gui::kMultiLine},
        {ControlKind::Label, -1, "Status :", 6, 150, 64, 12, gui::kAlignRight},
        {ControlKind::Label, 208, "", 76, 150, 124, 12},
        {ControlKind::DefButton, 1, "OK", 84, 174, 50, 15},
        {ControlKind::Button, 2, "Cancel", 140, 174, 50, 15},
    },
    "FILE_MENU"};

const DialogTemplate kSshQuestion{kSshQuestionDialog,
                                  "SSH",
                                  220,
                                  92,
                                  {
                                      {ControlKind::Label, 301, "", 8, 8, 204, 40, gui::kMultiLine},
                                      {ControlKind::Edit, 302, "", 8, 52, 204, 12, gui::kPassword},
                                      {ControlKind::DefButton, 1, "OK", 106, 72, 50, 15},
                                      {ControlKind::Button, 2, "Cancel", 162, 72, 50, 15},
                                  }};

const DialogTemplate kSshHostKey{
    kSshHostKeyDialog,
    "Unknown SSH host key",
    260,
    118,
    {
        {ControlKind::Edit, 301, "", 8, 8, 244, 68,
         gui::kReadOnly | gui::kMultiLine | gui::kNoHScroll},
        {ControlKind::Label, -1, "Trust this key and keep it in known_hosts?", 8, 80, 244, 12},
        {ControlKind::Button, 1, "Trust", 146, 98, 50, 15},
        {ControlKind::DefButton, 2, "Refuse", 202, 98, 50, 15},
    }};

const DialogTemplate kAbout{kAboutDialog,
                            "About",
                            160,
                            72,
                            {
                                {ControlKind::Icon, -1, "APPICON", 12, 12, 24, 24},
                                {ControlKind::Label, -1, "Quorvel Studio", 46, 12, 100, 12},
                                {ControlKind::Label, -1, "Version 2.1", 46, 26, 100, 12},
                                {ControlKind::DefButton, 1, "OK", 55, 48, 50, 15},
                            }};

const char* const kAppIcon[] = {
    "64 64 4 1",
    ". c None",
    "k c #000080",
    "b c #F4F4EC",
    "g c #008000",
    "................................................................",
    "................................................................",
    "..kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk..",
    "..kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk..",
    "..kkbbbbbbbbbbbbbbbbbbbbbbbggggggggggbbbbbbbbbbbbbbbbbbbbbbbkk..",
    "..kkbbbbbbbbbbbbbbbbbbbggggggggggggggggggbbbbbbbbbbbbbbbbbbbkk..",
    "..kkbbbbbbbbbbbbbbbbbggggggggggggggggggggggbbbbbbbbbbbbbbbbbkk..",
    "..kkbbbbbbbbbbbbbbbggggggggggggggggggggggggggbbbbbbbbbbbbbbbkk..",
    "..kkbbbbbbbbbbbbbggggggggggggggggggggggggggggggbbbbbbbbbbbbbkk..",
    "..kkbbbbbbbbbbbbggggggggggggggggggggggggggggggggbbbbbbbbbbbbkk..",
    "..kkbbbbbbbbbbbggggggggggggggggggggggggggggggggggbbbbbbbbbbbkk..",
    "..kkbbbbbbbbbbggggggggggggggggggggggggggggggggggggbbbbbbbbbbkk..",
    "..kkbbbbbbbbbgggggggggggggggbbbbbbbbgggggggggggggggbbbbbbbbbkk..",
    "..kkbbbbbbbbgggggggggggggbbbbbbbbbbbbbbgggggggggggggbbbbbbbbkk..",
    "..kkbbbbbbbggggggggggggbbbbbbbbbbbbbbbbbbggggggggggggbbbbbbbkk..",
    "..kkbbbbbbgggggggggggbbbbbbbbbbbbbbbbbbbbbbgggggggggggbbbbbbkk..",
    "..kkbbbbbbggggggggggbbbbbbbbbbbbbbbbbbbbbbbbggggggggggbbbbbbkk..",
    "..kkbbbbbggggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbggggggggggbbbbbkk..",
    "..kkbbbbbgggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbgggggggggbbbbbkk..",
    "..kkbbbbgggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbgggggggggbbbbkk..",
    "..kkbbbbgggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbgggggggggbbbbkk..",
    "..kkbbbgggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbgggggggggbbbkk..",
    "..kkbbbgggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbgggggggggbbbkk..",
    "..kkbbbggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbggggggggbbbkk..",
    "..kkbbbggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbggggggggbbbkk..",
    "..kkbbgggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbgggggggggbbkk..",
    "..kkbbggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbggggggggbbkk..",
    "..kkbbggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbggggggggbbkk..",
    "..kkbbggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbggggggggbbkk..",
    "..kkbbggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbggggggggbbkk..",
    "..kkbbggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbggggggggbbkk..",
    "..kkbbggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbggggggggbbkk..",
    "..kkbbggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbggggggggbbkk..",
    "..kkbbggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbggggggggbbkk..",
    "..kkbbgggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbgggggggggbbkk..",
    "..kkbbbggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbggggggggbbbkk..",
    "..kkbbbggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbggggggggbbbkk..",
    "..kkbbbgggggggggbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbgggggggggbbbkk..",
    "..kkbbbgggggggggbbbbbbbbbbbbbbbbbbbbggggbbbbbbbbgggggggggbbbkk..",
    "..kkbbbbgggggggggbbbbbbbbbbbbbbbbbbbgggggbbbbbbgggggggggbbbbkk..",
    "..kkbbbbgggggggggbbbbbbbbbbbbbbbbbbbggggggbbbbbgggggggggbbbbkk..",
    "..kkbbbbbgggggggggbbbbbbbbbbbbbbbbbbgggggggbbbgggggggggbbbbbkk..",
    "..kkbbbbbggggggggggbbbbbbbbbbbbbbbbbbgggggggbggggggggggbbbbbkk..",
    "..kkbbbbbbggggggggggbbbbbbbbbbbbbbbbbbggggggggggggggggbbbbbbkk..",
    "..kkbbbbbbgggggggggggbbbbbbbbbbbbbbbbbbgggggggggggggggbbbbbbkk..",
    "..kkbbbbbbbggggggggggggbbbbbbbbbbbbbbbbbgggggggggggggbbbbbbbkk..",
    "..kkbbbbbbbbgggggggggggggbbbbbbbbbbbbbbgggggggggggggbbbbbbbbkk..",
    "..kkbbbbbbbbbgggggggggggggggbbbbbbbbgggggggggggggggbbbbbbbbbkk..",
    "..kkbbbbbbbbbbggggggggggggggggggggggggggggggggggggbbbbbbbbbbkk..",
    "..kkbbbbbbbbbbbggggggggggggggggggggggggggggggggggggbbbbbbbbbkk..",
    "..kkbbbbbbbbbbbbggggggggggggggggggggggggggggggggggggbbbbbbbbkk..",
    "..kkbbbbbbbbbbbbbggggggggggggggggggggggggggggggggggggbbbbbbbkk..",
    "..kkbbbbbbbbbbbbbbbggggggggggggggggggggggggggbbgggggggbbbbbbkk..",
    "..kkbbbbbbbbbbbbbbbbbggggggggggggggggggggggbbbbbgggggggbbbbbkk..",
    "..kkbbbbbbbbbbbbbbbbbbbggggggggggggggggggbbbbbbbbgggggggbbbbkk..",
    "..kkbbbbbbbbbbbbbbbbbbbbbbbggggggggggbbbbbbbbbbbbbggggggbbbbkk..",
    "..kkbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbgggggbbbbkk..",
    "..kkbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbggggbbbbkk..",
    "..kkbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbkk..",
    "..kkbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbkk..",
    "..kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk..",
    "..kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk..",
    "................................................................",
    "................................................................",
};

}  // namespace

void RegisterShellResources() {
    static bool done = false;
    if (done) return;
    done = true;
    for (const MenuTemplate* m :
         {&kMainMenu, &kFuncMenu, &kAppMenu, &kReqMenu, &kDsMenu, &kUserMenu, &kFileMenu})
        gui::RegisterMenuTemplate(m);
    gui::RegisterDialogTemplate(&kConnect);
    gui::RegisterDialogTemplate(&kAbout);
    gui::RegisterDialogTemplate(&kSshQuestion);
    gui::RegisterDialogTemplate(&kSshHostKey);
}

const char* const* AppIconXpm() {
    return kAppIcon;
}
