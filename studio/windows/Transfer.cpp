#include "studio/windows/Transfer.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "studio/resources/WindowResources.h"
#include "studio/session/ServerSession.h"
#include "studio/windows/ListWindow.h"
#include "vessel/Vessel.h"

namespace qvw {

namespace {

// Shared by the progress dialog and its worker. The worker writes failure before it
// posts the completion; the dialog reads it only after the completion arrived.
struct WorkerState {
    std::mutex mutex;
    std::string failure;
    std::atomic<long long> done{0};
    std::atomic<long long> total{0};
    std::atomic<bool> progressPosted{false};
    std::thread thread;
};
WorkerState& Worker() {
    static WorkerState state;
    return state;
}

// The last part of a local path; a folder's path may end in a slash.
std::string BaseName(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A question on the one-line OK/Cancel confirmation; true on OK.
bool Confirm(gui::Window owner, std::string_view title, const std::string& question) {
    bool ok = false;
    gui::DialogBox(owner, kDeleteDialog,
                   OkCancelProc(
                       [&](gui::Dialog& d) {
                           d.SetTitle(title);
                           d.SetText(kIdDeleteLine, question);
                       },
                       [&ok](gui::Dialog& d) {
                           ok = true;
                           d.End(1);
                       }));
    return ok;
}

// A file of that name in the list the upload refills: the upload would replace it.
bool ListedAsFile(FileListType& list, const char* name) {
    bool file = false;
    WithRecordAt(list, IndexByName(list, name), [&file](FileItem& r) {
        file = r.m_Kind.empty() || LeadingNumber(r.m_Kind.str()) == 0;
    });
    return file;
}

std::string UpDownDir() {
    return TheHost().upDownDir ? TheHost().upDownDir() : std::string();
}

// Empties the list that an upload of this kind refills.
void ClearListOfKind(int kind) {
    if (kind == kTransferRequest)
        ReqList.Clear();
    else if (kind == kTransferApp)
        AppList.Clear();
    else if (FileListType* list = FileListOfKind(kind))
        list->Clear();
}

void RunWorker(gui::Window dialog) {
    WorkerState& w = Worker();
    ProgressFn progress = [dialog, &w](long long done, long long total) {
        w.done = done;
        w.total = total;
        // One progress command in flight at a time: the dialog reads the latest figures.
        if (!w.progressPosted.exchange(true)) gui::PostCommand(dialog, kTransferProgress);
    };
    std::string failure;
    const int mode = TransferMode;
    if (mode >= 0 && mode <= 2) {
        if (ExchangeWithProgress(kCmdUploadFile, progress, failure) == 0) {
            ClearListOfKind(TransferKind);
            Session.ParseResponse(ListCodeOfKind(TransferKind));
        }
    } else if (mode >= 3 && mode <= 5) {
        if (ExchangeWithProgress(kCmdDownloadFile, progress, failure) == 0 &&
            Session.ParseResponse(kCmdDownloadFile) != 0) {
            failure =
                std::string("The local file could not be written: ") + TransferLocalPath.c_str();
        }
    }
    {
        std::lock_guard<std::mutex> lock(w.mutex);
        w.failure = failure;
    }
    gui::PostCommand(dialog, kTransferDone);
}

bool ProgressProc(gui::Dialog& d, const gui::DialogEvent& e) {
    WorkerState& w = Worker();
    if (e.kind == gui::DialogEventKind::Init) {
        d.SetTitle(ProgressTitle(TransferMode));
        d.SetText(kIdFileName, TransferFileName.view());
        d.Enable(kIdStop, true);
        d.Enable(kIdError, false);
        d.Enable(kIdClose, false);
        d.SetText(kIdStatusLine, "Working . . .");
        d.SetProgress(kIdProgressBar, 0, 0);
        {
            std::lock_guard<std::mutex> lock(w.mutex);
            w.failure.clear();
        }
        w.done = 0;
        w.total = 0;
        w.progressPosted = false;
        if (w.thread.joinable()) w.thread.join();
        w.thread = std::thread(RunWorker, d.Handle());
        return true;
    }
    switch (e.id) {
        case kTransferProgress:
            w.progressPosted = false;
            d.SetProgress(kIdProgressBar, w.done.load(), w.total.load());
            return true;
        case kTransferDone: {
            std::string failure;
            {
                std::lock_guard<std::mutex> lock(w.mutex);
                failure = w.failure;
            }
            d.Enable(kIdStop, false);
            d.Enable(kIdClose, true);
            const bool error = Session.m_ErrorCode != 0 || !failure.empty();
            if (error) {
                d.SetText(kIdStatusLine, "Finished! There is an error!");
                d.Enable(kIdError, true);
                d.SetFocus(kIdError);
            } else {
                d.SetText(kIdStatusLine, "Finished!");
                long long total = w.total.load();
                if (total > 0) d.SetProgress(kIdProgressBar, total, total);
                d.SetFocus(kIdClose);
            }
            return true;
        }
        case kIdError: {
            std::string failure;
            {
                std::lock_guard<std::mutex> lock(w.mutex);
                failure = w.failure;
            }
            Box(d.Handle(), Session.m_ErrorCode != 0 ? Session.GetErrorReason() : failure);
            return true;
        }
        case kIdClose:
            d.End(0);
            return true;
        case kIdStop:  // a running transfer cannot be stopped
        case 2:        // nor the dialog left before it has finished
            return true;
        default:
            return false;
    }
}

void RunProgressDialog(gui::Window owner) {
    gui::DialogBox(owner, kProgressDialog, ProgressProc);
    // The dialog ends only after the completion, so this waits for a worker that has
    // done its work; a transfer is never abandoned half-written.
    if (Worker().thread.joinable()) Worker().thread.join();
}

// The request or application file checks: length, extension, a listed name.
template <class List>
bool CheckObjectFile(gui::Window owner, List& list, const char* tooLong, const char* ext,
                     const char* noExt, const char* exists) {
    std::string name = TransferFileName.str();
    if (name.size() > 50) {
        Box(owner, tooLong);
        return false;
    }
    std::size_t dot = name.find(ext);
    if (dot == std::string::npos) {
        Box(owner, noExt);
        return false;
    }
    std::string objectName = name.substr(0, dot);
    if (IndexByName(list, objectName.c_str()) >= 0) {
        Box(owner, exists);
        return false;
    }
    return true;
}

int ChangeCurrentFile(int code, gui::Window owner) {
    // The file is named in the folder the acting window lists, and nowhere else.
    FileFolder = FolderOfKind(TransferKind);
    int rc = Session.Execute(code);
    if (rc != 0) {
        // Refused or failed: say why and keep the list that the window shows.
        Box(owner, FailureText());
        return rc;
    }
    FileListType* list = FileListOfKind(TransferKind);
    if (!list) return 0;
    list->Clear();
    return Session.ParseResponse(ListCodeOfKind(TransferKind));
}

}  // namespace

const char* ProgressTitle(int mode) {
    switch (mode) {
        case 0:
            return "Upload Application";
        case 1:
            return "Upload Request";
        case 2:
            return "Upload File";
        case 3:
            return "Download Application";
        case 4:
            return "Download Request";
        case 5:
            return "Download File";
        default:
            return "???";
    }
}

std::vector<gui::FileFilter> UploadFilters(int kind) {
    switch (kind) {
        case kTransferHtml:
            return {{"HTML Files (*.html)", "*.html"},
                    {"HTM Files (*.htm)", "*.htm"},
                    {"CSS Files (*.css)", "*.css"},
                    {"JavaScript Files (*.js)", "*.js"},
                    {"All Files (*.*)", "*.*"}};
        case kTransferImage:
            return {{"JPG Files (*.jpg)", "*.jpg"},
                    {"JPEG Files (*.jpeg)", "*.jpeg"},
                    {"GIF Files (*.gif)", "*.gif"},
                    {"PNG Files (*.png)", "*.png"}};
        case kTransferData:
            return {{"Data Files (*.*)", "*.*"}};
        case kTransferRequest:
            return {{"REQ Files (*.req)", "*.req"}};
        case kTransferApp:
            return {{"APP Files (*.app)", "*.app"}};
        case kTransferFiles:
            return {{"HTML Files (*.html)", "*.html"},
                    {"CSS Files (*.css)", "*.css"},
                    {"JavaScript Files (*.js)", "*.js"},
                    {"Image Files (*.jpg, *.gif, *.png)", "*.jpg;*.gif;*.png"},
                    {"Font Files (*.otf, *.ttf)", "*.otf;*.ttf"},
                    {"PDF Files (*.pdf)", "*.pdf"},
                    {"All Files (*.*)", "*.*"}};
        default:
            return {};
    }
}

std::vector<gui::FileFilter> DownloadFilters(int kind) {
    switch (kind) {
        case kTransferHtml:
            return {{"HTML Files (*.html)", "*.html"},
                    {"HTM Files (*.htm)", "*.htm"},
                    {"All Files (*.*)", "*.*"}};
        case kTransferImage:
            return UploadFilters(kind);
        case kTransferData:
            return {{"Data Files (*.*)", "*.*"}};
        case kTransferRequest:
            return {{"REQ Files (*.req)", "*.req"}};
        case kTransferApp:
            return {{"APP Files (*.app)", "*.app"}};
        case kTransferFiles:
            return {{"Files (*.*)", "*.*"}};
        default:
            return {};
    }
}

bool RunUpload(gui::Window owner) {
    gui::FileDialogSpec spec;
    spec.filters = UploadFilters(TransferKind);
    spec.folder = UpDownDir();
    std::string path;
    if (!gui::GetOpenFileName(owner, spec, path)) return false;
    return UploadLocalFile(owner, path);
}

bool UploadLocalFile(gui::Window owner, const std::string& path) {
    const std::string name = BaseName(path);
    // Each refusal names the file: a drop of several goes on with the others.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        Box(owner, name + " was not uploaded: it is a folder, and only files are uploaded.");
        return false;
    }
    // The name, and for the Files kind its folder, go into the server's argument list.
    if (BreaksArguments(name)) {
        Box(owner, name + " was not uploaded: file names may not contain \",\" or \")\"!");
        return false;
    }
    if (TransferKind == kTransferFiles &&
        RefuseArgumentBreakers(owner, {FolderPath.view()}, "Folder names"))
        return false;
    TransferLocalPath = path;
    TransferFileName = name;
    FileListType* list = FileListOfKind(TransferKind);
    if (list && ListedAsFile(*list, name.c_str()) &&
        !Confirm(owner, "Upload", "Replace the file " + name + "?"))
        return false;
    switch (TransferKind) {
        case kTransferRequest:
            if (!CheckObjectFile(owner, ReqList, "File name (Request name) is too long!", ".req",
                                 "File name should have .req extention!",
                                 "Request already exists!"))
                return false;
            TransferMode = 1;
            break;
        case kTransferApp:
            if (!CheckObjectFile(owner, AppList, "File name (Application name) is too long!",
                                 ".app", "File name should have .app extention!",
                                 "Application already exists!"))
                return false;
            TransferMode = 0;
            break;
        default:
            TransferMode = 2;
            break;
    }
    RunProgressDialog(owner);
    return true;
}

bool RunDownload(gui::Window owner, const char* serverName) {
    gui::FileDialogSpec spec;
    spec.fileName = serverName ? serverName : "";
    spec.filters = DownloadFilters(TransferKind);
    spec.folder = UpDownDir();
    // A download makes new files: the save dialog takes any name and asks before it
    // replaces one that exists.
    spec.confirmOverwrite = true;
    TransferMode = TransferKind == kTransferApp ? 3 : TransferKind == kTransferRequest ? 4 : 5;
    std::string path;
    if (gui::GetSaveFileName(owner, spec, path)) {
        TransferFileName = spec.fileName;
        TransferLocalPath = path;
        RunProgressDialog(owner);
    }
    return true;
}

int DeleteCurrentFile(gui::Window owner) {
    return ChangeCurrentFile(kCmdDeleteFile, owner);
}

int RenameCurrentFile(gui::Window owner) {
    return ChangeCurrentFile(kCmdRenameFile, owner);
}

bool RunDeleteFileDialog(gui::Window owner) {
    return ConfirmDelete(owner, [](gui::Dialog& d) {
        DialogOutcome = 1;
        d.End(1);
    });
}

bool RunRenameDialog(gui::Window owner, FileListType& list) {
    DialogOutcome = 0;
    gui::DialogBox(owner, kRenameDialog, [&list](gui::Dialog& d, const gui::DialogEvent& e) {
        if (e.kind == gui::DialogEventKind::Init) {
            d.SetText(kIdFileName, TransferFileName.view());
            return true;
        }
        if (e.id == 1) {
            RenameNewName = d.Text(kIdFileName, 99);
            // Each refusal keeps the dialog open with the name as typed.
            if (RenameNewName.empty()) {
                Box(d.Handle(), "No file name!");
                return true;
            }
            if (RefuseArgumentBreakers(d.Handle(), {RenameNewName.view()}, "File names"))
                return true;
            if (IndexByName(list, RenameNewName.c_str()) >= 0) {
                Box(d.Handle(), "File already exists!");
                return true;
            }
            DialogOutcome = 1;
            d.End(1);
            return true;
        }
        if (e.id == 2) {
            CancelDialog(d);
            return true;
        }
        return false;
    });
    return DialogOutcome == 1;
}

std::string LastTransferFailure() {
    std::lock_guard<std::mutex> lock(Worker().mutex);
    return Worker().failure;
}

int ExchangeWithProgress(int code, const ProgressFn& progress, std::string& failure) {
    ServerSession::Observer watch;
    watch.progress = progress;
    const int rc = Session.Execute(code, &watch);
    failure = watch.failure;
    if (rc < 0 && failure.empty()) failure = "The exchange with the server failed!";
    return rc;
}

}  // namespace qvw
