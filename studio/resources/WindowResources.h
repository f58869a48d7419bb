// Dialogs of the object windows, as data for the windowing layer.
#pragma once

// Dialog ids.
inline constexpr int kAppDialog = 3;
inline constexpr int kDeleteDialog = 8;
inline constexpr int kRenameDialog = 11;
inline constexpr int kDeleteSureDialog = 12;
inline constexpr int kProgressDialog = 14;

// Control ids of these dialogs.
inline constexpr int kIdStatusLine = 208;
inline constexpr int kIdAppName = 210;
inline constexpr int kIdAppUsers = 219;
inline constexpr int kIdAllUsers = 220;
inline constexpr int kIdDeleteLine = 221;
inline constexpr int kIdFileName = 235;
inline constexpr int kIdProgressBar = 237;
inline constexpr int kIdAppDescription = 260;
inline constexpr int kIdAppTimeout = 262;
inline constexpr int kIdError = 307;
inline constexpr int kIdAddUser = 314;
inline constexpr int kIdRemoveUser = 315;
inline constexpr int kIdStop = 318;
inline constexpr int kIdClose = 319;

// Registers the dialogs with the windowing layer; safe to call more than once.
void RegisterWindowResources();
