// The shell's resources: the six frame menus, the connect dialog's FILE_MENU, the script
// the connect dialog (1), the About dialog (2) and the program icon.
#pragma once

// Registers the menus and dialogs with the windowing layer; safe to call more than once.
void RegisterShellResources();

// The program icon "APPICON", as XPM rows for gui::SetAppIcon.
const char* const* AppIconXpm();

// Dialog ids.
inline constexpr int kConnectDialog = 1;
inline constexpr int kAboutDialog = 2;
// What ssh asks while the studio connects through an SSH host: a password or passphrase,
// and whether to trust a host key it does not know.
inline constexpr int kSshQuestionDialog = 30;
inline constexpr int kSshHostKeyDialog = 31;
