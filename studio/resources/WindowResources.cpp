// Dialogs of the object windows: the application dialog, the request editor with its
// parameter, script and cancel dialogs, the data source and user dialogs with their
// password dialogs, the two delete confirmations, the rename dialog and the progress
// dialog of a transfer.
#include "studio/resources/WindowResources.h"

#include "platform/gui/Templates.h"

namespace {

using gui::ControlKind;
using gui::DialogTemplate;

// The script editor's menu; Ctrl+S saves as the menu's Save does.
const gui::MenuTemplate kScriptMenu{
    "SCRIPT_MENU",
    {{"&File", {{kCmdScriptSave, "Save", false, false, "Ctrl+S"}, {kCmdScriptCancel, "Cancel"}}}}};

constexpr unsigned kListStyle = gui::kUnsorted | gui::kVScroll;

// The request editor: name and data source; parameters; language and access; the users
// who may call a private request; the script behind Source.
const DialogTemplate kReq{
    kReqDialog,
    "New Request",
    305,
    300,
    {
        {ControlKind::Frame, -1, "", 5, 5, 295, 46},
        {ControlKind::Label, -1, "Name :", 10, 12, 60, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdReqName, "", 74, 11, 160, 13, gui::kNoHScroll},
        {ControlKind::Label, -1, "Data Source :", 10, 31, 60, 12, gui::kAlignRight},
        {ControlKind::ComboBox, kIdReqDataSource, "", 74, 30, 160, 13, gui::kDropDownList},
        {ControlKind::Frame, -1, "", 5, 56, 160, 150},
        {ControlKind::Label, -1, "Parameters :", 10, 60, 50, 11},
        {ControlKind::Label, kIdParamCount, "0", 62, 60, 30, 11},
        {ControlKind::ListBox, kIdReqParams, "", 10, 73, 104, 128, kListStyle},
        {ControlKind::Button, kIdParamNew, "New", 119, 73, 40, 15},
        {ControlKind::Button, kIdParamEdit, "Edit", 119, 92, 40, 15},
        {ControlKind::Button, kIdParamDelete, "Delete", 119, 111, 40, 15},
        {ControlKind::Button, kIdParamInsert, "Insert", 119, 130, 40, 15},
        {ControlKind::Frame, -1, "", 170, 56, 130, 40},
        {ControlKind::Label, -1, "Language :", 175, 60, 60, 11},
        {ControlKind::Radio, kIdSql, " SQL", 180, 76, 50, 12, gui::kGroupStart},
        {ControlKind::Radio, kIdJava, " JAVA", 235, 76, 55, 12},
        {ControlKind::Frame, -1, "", 170, 101, 130, 40},
        {ControlKind::Label, -1, "Access :", 175, 105, 60, 11},
        {ControlKind::Radio, kIdPublic, " Public", 180, 121, 50, 12, gui::kGroupStart},
        {ControlKind::Radio, kIdPrivate, " Private", 235, 121, 55, 12},
        {ControlKind::Button, kIdSource, "Source", 175, 160, 60, 15},
        {ControlKind::Frame, -1, "", 5, 211, 295, 66},
        {ControlKind::Label, -1, "Users :", 10, 214, 110, 10},
        {ControlKind::ListBox, kIdAppUsers, "", 10, 225, 120, 48, kListStyle},
        {ControlKind::Button, kIdAddUser, "<<", 141, 228, 22, 15},
        {ControlKind::Button, kIdRemoveUser, ">>", 141, 250, 22, 15},
        {ControlKind::Label, -1, "All Users :", 175, 214, 110, 10},
        {ControlKind::ListBox, kIdAllUsers, "", 175, 225, 120, 48, kListStyle},
        {ControlKind::Icon, -1, "APPICON", 8, 280, 20, 20},
        {ControlKind::DefButton, 1, "OK", 190, 281, 52, 15},
        {ControlKind::Button, 2, "Cancel", 248, 281, 52, 15},
    }};

const DialogTemplate kParam{
    kParamDialog,
    "New Parameter",
    150,
    49,
    {
        {ControlKind::Label, -1, "Name :", 5, 9, 30, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdParamName, "", 38, 8, 106, 13, gui::kNoHScroll},
        {ControlKind::DefButton, 1, "OK", 38, 29, 50, 15},
        {ControlKind::Button, 2, "Cancel", 94, 29, 50, 15},
    }};

const DialogTemplate kScript{kScriptDialog,
                             "New Request",
                             660,
                             420,
                             {
                                 {ControlKind::CodeEditor, kIdScript, "", 0, 0, 660, 420},
                             },
                             "SCRIPT_MENU"};

// The question is set by whoever asks it (the request editor, the script editor).
const DialogTemplate kCancel{kCancelDialog,
                             "Cancel",
                             190,
                             50,
                             {
                                 {ControlKind::Label, kIdCancelQuestion,
                                  "Discard the changes to this request?", 8, 9, 174, 12},
                                 {ControlKind::DefButton, 1, "OK", 76, 29, 50, 15},
                                 {ControlKind::Button, 2, "Cancel", 132, 29, 50, 15},
                             }};

const DialogTemplate kApp{
    kAppDialog,
    "New Application",
    234,
    220,
    {
        {ControlKind::Frame, -1, "", 5, 5, 224, 64},
        {ControlKind::Label, -1, "Name :", 10, 13, 62, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdAppName, "", 76, 12, 146, 13, gui::kNoHScroll},
        {ControlKind::Label, -1, "Description :", 10, 31, 62, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdAppDescription, "", 76, 30, 146, 13},
        {ControlKind::Label, -1, "Session Timeout :", 10, 49, 62, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdAppTimeout, "", 76, 48, 40, 13},
        {ControlKind::Label, -1, "[minutes]", 120, 49, 50, 12},
        {ControlKind::Frame, -1, "", 5, 74, 224, 118},
        {ControlKind::Label, -1, "Users :", 10, 78, 90, 10},
        {ControlKind::ListBox, kIdAppUsers, "", 10, 90, 90, 96, gui::kUnsorted | gui::kVScroll},
        {ControlKind::Button, kIdAddUser, "<<", 106, 116, 22, 15},
        {ControlKind::Button, kIdRemoveUser, ">>", 106, 138, 22, 15},
        {ControlKind::Label, -1, "All Users :", 134, 78, 90, 10},
        {ControlKind::ListBox, kIdAllUsers, "", 134, 90, 90, 96, gui::kUnsorted | gui::kVScroll},
        {ControlKind::Icon, -1, "APPICON", 8, 196, 20, 20},
        {ControlKind::DefButton, 1, "OK", 118, 199, 52, 15},
        {ControlKind::Button, 2, "Cancel", 177, 199, 52, 15},
    }};

// Name and Description scroll; the other fields' width limits what can be typed.
const DialogTemplate kDS{
    kDSDialog,
    "New Data Source",
    232,
    87,
    {
        {ControlKind::Frame, -1, "", 5, 5, 222, 60},
        {ControlKind::Label, -1, "Name :", 10, 13, 62, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdDSName, "", 76, 12, 146, 13},
        {ControlKind::Label, -1, "Description :", 10, 31, 62, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdDSDescription, "", 76, 30, 146, 13},
        {ControlKind::Label, -1, "Connections :", 10, 49, 62, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdDSConnections, "", 76, 48, 40, 13, gui::kNoHScroll},
        {ControlKind::Icon, -1, "APPICON", 8, 67, 20, 20},
        {ControlKind::DefButton, 1, "OK", 116, 69, 52, 15},
        {ControlKind::Button, 2, "Cancel", 175, 69, 52, 15},
    }};

// The password shows as dots and is typed twice; dots show nothing of the box's width,
// so a password field takes its 20 characters by count. The Name line is wide enough for a data
// source's name of 50 characters.
const DialogTemplate kDSPwd{
    kDSPwdDialog,
    "Data Source User Name and Password",
    300,
    102,
    {
        {ControlKind::Frame, -1, "", 5, 5, 290, 76},
        {ControlKind::Label, -1, "Name :", 10, 12, 72, 12, gui::kAlignRight},
        {ControlKind::Label, kIdDSName, "", 86, 12, 205, 12},
        {ControlKind::Label, -1, "User Name :", 10, 30, 72, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdDSUserName, "", 86, 29, 90, 13, gui::kNoHScroll},
        {ControlKind::Label, -1, "User Password :", 10, 47, 72, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdDSPassword, "", 86, 46, 90, 13, gui::kPassword, 20},
        {ControlKind::Label, -1, "Confirm Password :", 10, 64, 72, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdDSPasswordAgain, "", 86, 63, 90, 13, gui::kPassword, 20},
        {ControlKind::Icon, -1, "APPICON", 8, 82, 20, 20},
        {ControlKind::DefButton, 1, "OK", 184, 85, 52, 15},
        {ControlKind::Button, 2, "Cancel", 243, 85, 52, 15},
    }};

const DialogTemplate kUser{
    kUserDialog,
    "New User",
    232,
    85,
    {
        {ControlKind::Frame, -1, "", 5, 5, 222, 60},
        {ControlKind::Label, -1, "Name :", 10, 13, 62, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdUserName, "", 76, 12, 96, 13, gui::kNoHScroll},
        {ControlKind::Label, -1, "Description :", 10, 31, 62, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdUserDescription, "", 76, 30, 146, 13},
        {ControlKind::Label, -1, "Type :", 10, 49, 62, 12, gui::kAlignRight},
        {ControlKind::ComboBox, kIdUserType, "", 76, 48, 50, 13, gui::kDropDownList},
        {ControlKind::Icon, -1, "APPICON", 8, 65, 20, 20},
        {ControlKind::DefButton, 1, "OK", 116, 68, 52, 15},
        {ControlKind::Button, 2, "Cancel", 175, 68, 52, 15},
    }};

// The password shows as dots and is typed twice, 20 characters at most.
const DialogTemplate kUserPwd{
    kUserPwdDialog,
    "User Password",
    177,
    87,
    {
        {ControlKind::Frame, -1, "", 5, 5, 167, 59},
        {ControlKind::Label, -1, "Name :", 10, 12, 50, 12, gui::kAlignRight},
        {ControlKind::Label, kIdUserName, "", 64, 12, 104, 12},
        {ControlKind::Label, -1, "Password :", 10, 29, 50, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdUserPassword, "", 64, 28, 96, 13, gui::kPassword, 20},
        {ControlKind::Label, -1, "Confirm :", 10, 46, 50, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdUserPasswordAgain, "", 64, 45, 96, 13, gui::kPassword, 20},
        {ControlKind::Icon, -1, "APPICON", 8, 66, 20, 20},
        {ControlKind::DefButton, 1, "OK", 61, 69, 52, 15},
        {ControlKind::Button, 2, "Cancel", 120, 69, 52, 15},
    }};

const DialogTemplate kDelete{kDeleteDialog,
                             "Delete",
                             198,
                             56,
                             {
                                 {ControlKind::Frame, -1, "", 5, 5, 188, 22},
                                 {ControlKind::Label, kIdDeleteLine, "", 10, 10, 178, 12},
                                 {ControlKind::Icon, -1, "APPICON", 8, 33, 20, 20},
                                 {ControlKind::DefButton, 1, "OK", 84, 36, 50, 15},
                                 {ControlKind::Button, 2, "Cancel", 141, 36, 50, 15},
                             }};

const DialogTemplate kDeleteSure{kDeleteSureDialog,
                                 "Delete",
                                 200,
                                 87,
                                 {
                                     {ControlKind::Frame, -1, "", 5, 5, 190, 34},
                                     {ControlKind::Label, kIdDeleteLine, "", 10, 9, 180, 12},
                                     {ControlKind::Label, -1, "Are you sure?", 10, 23, 180, 12},
                                     {ControlKind::Frame, -1, "", 5, 43, 190, 17},
                                     {ControlKind::Label, -1, "Status :", 10, 46, 34, 11},
                                     {ControlKind::Label, kIdStatusLine, "", 46, 46, 144, 11},
                                     {ControlKind::Icon, -1, "APPICON", 8, 64, 20, 20},
                                     {ControlKind::DefButton, 1, "OK", 36, 67, 50, 15},
                                     {ControlKind::Button, kIdStop, "Stop", 91, 67, 50, 15},
                                     {ControlKind::Button, 2, "Cancel", 146, 67, 50, 15},
                                 }};

const DialogTemplate kRename{kRenameDialog,
                             "Rename",
                             220,
                             60,
                             {
                                 {ControlKind::Frame, -1, "", 5, 5, 210, 24},
                                 {ControlKind::Label, -1, "File name :", 10, 11, 44, 12},
                                 {ControlKind::Edit, kIdFileName, "", 56, 10, 154, 13},
                                 {ControlKind::Icon, -1, "APPICON", 8, 36, 20, 20},
                                 {ControlKind::DefButton, 1, "OK", 106, 39, 50, 15},
                                 {ControlKind::Button, 2, "Cancel", 163, 39, 50, 15},
                             }};

// The progress bar (237) is ours: bytes done of the total while a transfer runs.
const DialogTemplate kProgress{kProgressDialog,
                               "???",
                               230,
                               104,
                               {
                                   {ControlKind::Frame, -1, "", 5, 5, 220, 40},
                                   {ControlKind::Label, -1, "File :", 10, 10, 30, 12},
                                   {ControlKind::Label, kIdFileName, "", 42, 10, 178, 12},
                                   {ControlKind::Progress, kIdProgressBar, "", 10, 27, 210, 12},
                                   {ControlKind::Frame, -1, "", 5, 49, 220, 18},
                                   {ControlKind::Label, -1, "Status :", 10, 52, 30, 12},
                                   {ControlKind::Label, kIdStatusLine, "", 42, 52, 178, 12},
                                   {ControlKind::Icon, -1, "APPICON", 8, 80, 20, 20},
                                   {ControlKind::Button, kIdStop, "Stop", 60, 83, 50, 15},
                                   {ControlKind::Button, kIdError, "Error", 116, 83, 50, 15},
                                   {ControlKind::Button, kIdClose, "Close", 172, 83, 50, 15},
                               },
                               nullptr,
                               gui::kNoCloseBox};

// Find in Scripts (Requests window, Ctrl+Shift+F): every line of the application's
// scripts that holds the text; Open, a double click or Enter on a line opens its script
// there.
const DialogTemplate kFindScripts{
    kFindScriptsDialog,
    "Find in Scripts",
    420,
    232,
    {
        {ControlKind::Label, -1, "Find :", 5, 9, 30, 12, gui::kAlignRight},
        {ControlKind::Edit, kIdFindText, "", 38, 8, 260, 13},
        {ControlKind::DefButton, kIdFindGo, "Find", 306, 7, 52, 15},
        {ControlKind::CheckBox, kIdFindRegex, " Regular expression", 38, 26, 150, 12},
        {ControlKind::ListBox, kIdFindResults, "", 5, 44, 410, 160, kListStyle},
        {ControlKind::Label, kIdStatusLine, "", 5, 212, 240, 12},
        {ControlKind::Button, kIdFindOpen, "Open", 306, 210, 52, 15},
        {ControlKind::Button, 2, "Close", 363, 210, 52, 15},
    }};

}  // namespace

void RegisterWindowResources() {
    static bool done = false;
    if (done) return;
    done = true;
    for (const DialogTemplate* d :
         {&kApp, &kReq, &kParam, &kScript, &kDS, &kDSPwd, &kUser, &kUserPwd, &kDelete, &kDeleteSure,
          &kRename, &kProgress, &kCancel, &kFindScripts})
        gui::RegisterDialogTemplate(d);
    gui::RegisterMenuTemplate(&kScriptMenu);
}
