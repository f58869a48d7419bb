// Moving files between the local disk and the server: upload and download through a
// modal progress dialog whose worker thread runs the exchange, and the delete and rename
// of a server file with their dialogs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/gui/Gui.h"
#include "studio/session/Records.h"

namespace qvw {

// The completion command the worker posts to the progress dialog, and the progress
// command it posts while bytes move.
inline constexpr int kTransferDone = 236;
inline constexpr int kTransferProgress = 238;

// Titles of the progress dialog by TransferMode ("???" for any other value).
const char* ProgressTitle(int mode);
// The type lists of the file dialogs by TransferKind.
std::vector<gui::FileFilter> UploadFilters(int kind);
std::vector<gui::FileFilter> DownloadFilters(int kind);

// Open dialog, checks, progress dialog. True when a transfer was run.
bool RunUpload(gui::Window owner);
// The checks and the progress dialog for one local file, as after the open dialog: a
// folder or a name the server's argument list cannot carry is refused with a message
// naming it, and a name the kind's list holds as a file is replaced only after the
// user said so.
bool UploadLocalFile(gui::Window owner, const std::string& path);
// Save dialog starting at serverName, progress dialog. Always true.
bool RunDownload(gui::Window owner, const char* serverName);

// DeleteFile or RenameFile for TransferFileName (and RenameNewName) in the folder that
// the window of TransferKind lists (FolderOfKind). When the server takes it, the list
// of the file kind is refilled from the answer; when it refuses, its error text is
// shown (owned by owner) and the list stays as it was.
int DeleteCurrentFile(gui::Window owner = 0);
int RenameCurrentFile(gui::Window owner = 0);

// The delete confirmation of the file windows (dialog 8 with DeleteText). The outcome.
bool RunDeleteFileDialog(gui::Window owner);
// The rename dialog (11): the new name goes to RenameNewName and must not be a name
// of the calling window's list. The outcome.
bool RunRenameDialog(gui::Window owner, FileListType& list);

// What the last transfer's worker found, beyond the server's own error text: a failure
// of the exchange itself or of the local file. Empty when there was none.
std::string LastTransferFailure();

// The worker's exchange, on the calling thread: Execute watched, with progress of the
// bytes sent and received. 0, 1 (server error) or -1 with failure set.
// progress may be empty.
using ProgressFn = std::function<void(long long done, long long total)>;
int ExchangeWithProgress(int code, const ProgressFn& progress, std::string& failure);

}  // namespace qvw
