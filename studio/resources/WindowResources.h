// Dialogs of the object windows, as data for the windowing layer.
#pragma once

// Dialog ids.
inline constexpr int kUserDialog = 5;
inline constexpr int kDSDialog = 6;
inline constexpr int kUserPwdDialog = 17;
inline constexpr int kDSPwdDialog = 18;
inline constexpr int kAppDialog = 3;
inline constexpr int kReqDialog = 4;
inline constexpr int kParamDialog = 7;
inline constexpr int kScriptDialog = 9;
inline constexpr int kCancelDialog = 16;
inline constexpr int kDeleteDialog = 8;
inline constexpr int kRenameDialog = 11;
inline constexpr int kDeleteSureDialog = 12;
inline constexpr int kProgressDialog = 14;
inline constexpr int kFindScriptsDialog = 19;

// Control ids of these dialogs.
inline constexpr int kIdStatusLine = 208;
inline constexpr int kIdAppName = 210;
inline constexpr int kIdReqName = 211;
inline constexpr int kIdReqDataSource = 212;
inline constexpr int kIdReqParams = 217;
inline constexpr int kIdParamName = 218;
inline constexpr int kIdScript = 223;
inline constexpr int kIdParamCount = 241;
inline constexpr int kIdSource = 302;
inline constexpr int kIdSql = 303;
inline constexpr int kIdJava = 304;
inline constexpr int kIdPublic = 305;
inline constexpr int kIdPrivate = 306;
inline constexpr int kIdParamNew = 310;
inline constexpr int kIdParamEdit = 311;
inline constexpr int kIdParamDelete = 312;
inline constexpr int kIdParamInsert = 313;
// The script editor's menu commands.
inline constexpr int kCmdScriptSave = 130;
inline constexpr int kCmdScriptCancel = 131;
inline constexpr int kIdAppUsers = 219;
inline constexpr int kIdAllUsers = 220;
inline constexpr int kIdDeleteLine = 221;
inline constexpr int kIdCancelQuestion = 224;
inline constexpr int kIdFileName = 235;
inline constexpr int kIdProgressBar = 237;
inline constexpr int kIdAppDescription = 260;
inline constexpr int kIdAppTimeout = 262;
inline constexpr int kIdError = 307;
inline constexpr int kIdAddUser = 314;
inline constexpr int kIdRemoveUser = 315;
inline constexpr int kIdStop = 318;
inline constexpr int kIdClose = 319;
// Find in Scripts: the text, whether it is a regular expression, the search, the lines
// found and the button that opens one.
inline constexpr int kIdFindText = 340;
inline constexpr int kIdFindRegex = 341;
inline constexpr int kIdFindGo = 342;
inline constexpr int kIdFindResults = 343;
inline constexpr int kIdFindOpen = 344;

// The data source dialog and its user name and password dialog.
inline constexpr int kIdDSName = 212;
inline constexpr int kIdDSUserName = 213;
inline constexpr int kIdDSPassword = 214;
inline constexpr int kIdDSConnections = 215;
inline constexpr int kIdDSPasswordAgain = 216;  // ours: the password typed twice
inline constexpr int kIdDSDescription = 261;
// The user dialog and the user password dialog.
inline constexpr int kIdUserName = 206;
inline constexpr int kIdUserPassword = 207;
inline constexpr int kIdUserPasswordAgain = 209;  // ours: the password typed twice
inline constexpr int kIdUserDescription = 270;
inline constexpr int kIdUserType = 271;

// Registers the dialogs with the windowing layer; safe to call more than once.
void RegisterWindowResources();
