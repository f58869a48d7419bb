// The application file areas: listings for the four file windows, delete, rename and
// the file transfers (kinds 1, 2, 3 and 6); requests and applications move in Transfer.cpp.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "devserver/Checks.h"
#include "devserver/Handlers.h"
#include "devserver/Server.h"
#include "platform/os/Files.h"

namespace fs = std::filesystem;

namespace devserver {

namespace {

constexpr long kMaxId = 2147483647;

// The folder of a flat kind inside an area: 1 the top (HTML pages), 2 images, 3 data.
std::vector<std::string> FlatParts(int kind) {
    if (kind == 2) return {"images"};
    if (kind == 3) return {"data"};
    return {};
}

std::string WireFolder(const std::vector<std::string>& parts) {
    std::string w;
    for (const auto& s : parts) w += (w.empty() ? "" : "\\") + s;
    return w;
}

std::string SizeK(int64_t bytes) {
    return std::to_string((bytes + 1023) / 1024);
}

// Splits a kind-6 transfer name ("folder\name", or "\name" at the top) into checked parts.
std::string SplitTransferName(std::string_view wire, std::vector<std::string>& folder,
                              std::string& name) {
    if (!wire.empty() && wire.front() == '\\') wire.remove_prefix(1);
    std::size_t cut = wire.rfind('\\');
    std::string_view f = cut == std::string_view::npos ? std::string_view() : wire.substr(0, cut);
    name = std::string(cut == std::string_view::npos ? wire : wire.substr(cut + 1));
    std::string why = CheckFolder(f, folder);
    if (!why.empty()) return why;
    return CheckFileName(name);
}

}  // namespace

#define QV_APP(appId, nameVar)                                                                   \
    std::string nameVar;                                                                         \
    if (!MayUseApp(call, appId) || !AppName(appId, nameVar))                                     \
        return Refuse(call, call.Restricted() ? std::string("Not allowed")                       \
                                              : "Unknown application " + std::to_string(appId)); \
    if (AppArea(nameVar).empty())                                                                \
    return Refuse(call, "The application's name cannot be a folder; rename it first")

int DevServer::OpenAreaDir(const std::string& app, const std::vector<std::string>& parts,
                           os::DirBeneath& dir, bool create) {
    if (AppArea(app).empty()) return -1;
    std::vector<std::string> all{app};
    all.insert(all.end(), parts.begin(), parts.end());
    return dir.Open(os::JoinPath({m_Options.root, "apps"}), all, create);
}

// Links are listed as neither file nor folder: no command follows them.
Table DevServer::FlatFilesTable(const os::DirBeneath& dir) {
    Table t{{99, 20, 30}, {}};
    std::vector<os::DirEntry> entries;
    if (dir.IsOpen()) os::ListDirectory(dir.Path().c_str(), entries);
    for (const auto& e : entries) {
        // Names no command could address (dot files, the temporaries of atomic writes) stay hidden.
        if (e.isDirectory || !CheckFileName(e.name).empty()) continue;
        if (dir.KindOf(e.name) != 'f') continue;
        t.Row({e.name, SizeK(e.size), DisplayTime(e.modifiedSeconds)});
    }
    return t;
}

Table DevServer::FolderTable(const os::DirBeneath& dir, bool belowTop) {
    Table t{{99, 20, 30, 23}, {}};
    std::vector<os::DirEntry> entries;
    if (dir.IsOpen()) os::ListDirectory(dir.Path().c_str(), entries);
    if (belowTop) t.Row({"..", "", "", "1"});
    for (const auto& e : entries)
        if (CheckFileName(e.name).empty() && dir.KindOf(e.name) == 'd')
            t.Row({e.name, "", DisplayTime(e.modifiedSeconds), "1"});
    for (const auto& e : entries)
        if (CheckFileName(e.name).empty() && dir.KindOf(e.name) == 'f')
            t.Row({e.name, SizeK(e.size), DisplayTime(e.modifiedSeconds), "0"});
    return t;
}

// The list a file window shows, as the answer to a fetch or to a change in it.
std::string DevServer::FileListAnswer(long appId, int kind, const std::string& folderWire) {
    std::string name;
    AppName(appId, name);
    std::vector<std::string> parts = FlatParts(kind);
    if (kind == 6) CheckFolder(folderWire, parts);
    os::DirBeneath dir;
    OpenAreaDir(name, parts, dir);
    return Answer(kind == 6 ? FolderTable(dir, !parts.empty()) : FlatFilesTable(dir));
}

std::string DevServer::GetHtmls(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    QV_APP(id, app);
    return FileListAnswer(id, 1, "");
}

std::string DevServer::GetImages(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    QV_APP(id, app);
    return FileListAnswer(id, 2, "");
}

std::string DevServer::GetData(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    QV_APP(id, app);
    return FileListAnswer(id, 3, "");
}

std::string DevServer::GetFiles(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    QV_APP(id, app);
    std::vector<std::string> parts;
    QV_CHECK(CheckFolder(call.args[1], parts));
    os::DirBeneath dir;
    if (OpenAreaDir(app, parts, dir) != 0) return Refuse(call, "No such folder " + call.args[1]);
    return FileListAnswer(id, 6, WireFolder(parts));
}

// DeleteFile and RenameFile carry no kind: the folder sent is the one the acting window
// lists, and the file is taken there or nowhere. Every window that can send the same
// folder (Files at the top and Htmls; Files inside images and Images) lists a view of
// that folder, so the answer is its full listing, in the Files layout; a flat window
// keeps the files of it.
std::string DevServer::FileInFolder(const std::string& app, const std::string& folder,
                                    const std::string& name, os::DirBeneath& dir,
                                    std::string& folderWire) {
    std::vector<std::string> parts;
    std::string why = CheckFolder(folder, parts);
    if (!why.empty()) return why;
    why = CheckFileName(name);
    if (!why.empty()) return why;
    if (OpenAreaDir(app, parts, dir) != 0) return "No such folder " + folder;
    if (dir.KindOf(name) != 'f') return "No such file " + name;
    folderWire = WireFolder(parts);
    return {};
}

std::string DevServer::DeleteFile(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    QV_APP(id, app);
    os::DirBeneath dir;
    std::string folderWire;
    QV_CHECK(FileInFolder(app, call.args[1], call.args[2], dir, folderWire));
    if (::unlinkat(dir.Handle(), call.args[2].c_str(), 0) != 0)
        return Refuse(call, "Cannot delete " + call.args[2]);
    TraceApplication(id, "file " + call.args[2] + " deleted");
    return FileListAnswer(id, 6, folderWire);
}

std::string DevServer::RenameFile(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    QV_APP(id, app);
    QV_CHECK(CheckFileName(call.args[3]));
    os::DirBeneath dir;
    std::string folderWire;
    QV_CHECK(FileInFolder(app, call.args[1], call.args[2], dir, folderWire));
    if (dir.KindOf(call.args[3]) != 0)
        return Refuse(call, "File " + call.args[3] + " exists already");
    if (::renameat(dir.Handle(), call.args[2].c_str(), dir.Handle(), call.args[3].c_str()) != 0)
        return Refuse(call, "Cannot rename " + call.args[2]);
    TraceApplication(id, "file " + call.args[2] + " renamed to " + call.args[3]);
    return FileListAnswer(id, 6, folderWire);
}

std::string DevServer::DownloadFile(Call& call) {
    QV_NUMBER(owner, 0, 1, kMaxId, "Owner id");
    QV_NUMBER(kind, 1, 1, 6, "Transfer kind");
    if (kind == 4) {
        long appId = 0;
        if (!ReqApp(owner, appId))
            return Refuse(call, call.Restricted() ? std::string("Not allowed")
                                                  : "Unknown request " + std::to_string(owner));
        QV_APP(appId, app);
        std::string out;
        if (!ExportRequest(owner, out)) return Refuse(call, "Cannot read the request");
        return DocumentAnswer(out, "text/plain");
    }
    QV_APP(owner, app);
    if (kind == 5) {
        std::string out;
        if (!ExportApplication(owner, out))
            return Refuse(call, "Cannot read the application's files");
        return DocumentAnswer(out);
    }
    std::vector<std::string> folder = FlatParts(static_cast<int>(kind));
    std::string name = call.args[2];
    if (kind == 6)
        QV_CHECK(SplitTransferName(call.args[2], folder, name));
    else
        QV_CHECK(CheckFileName(name));
    os::DirBeneath dir;
    if (OpenAreaDir(app, folder, dir) != 0 || dir.KindOf(name) != 'f')
        return Refuse(call, "No such file " + call.args[2]);
    // The file is sent from disk after the header: memory does not grow with its size.
    auto file = std::make_unique<os::FileReader>();
    if (file->OpenAt(dir, name.c_str()) != 0) return Refuse(call, "Cannot read " + call.args[2]);
    const long long size = file->Size();
    call.file = std::move(file);
    return DocumentHeader(size);
}

std::string DevServer::UploadFile(Call& call) {
    // An application file names no owner: its id may be anything, 0 too.
    QV_NUMBER(appId, 0, 0, kMaxId, "Application id");
    QV_NUMBER(kind, 1, 1, 6, "Transfer kind");
    if (kind == 5) {
        // An application file brings a new application; the id names no owner.
        if (call.Restricted()) return Refuse(call, "Not allowed");
        const std::string& file = call.args[2];
        std::size_t dot = file.find(".app");
        if (dot == std::string::npos) return Refuse(call, "File name should have .app extention!");
        std::string appName = file.substr(0, dot);
        QV_CHECK(CheckAppName(appName));
        QV_CHECK(ImportApplication(appName, call.body));
        return Answer(AppsTable(call));
    }
    QV_APP(appId, app);
    if (kind == 4) {
        const std::string& file = call.args[2];
        std::size_t dot = file.find(".req");
        if (dot == std::string::npos) return Refuse(call, "File name should have .req extention!");
        std::string reqName = file.substr(0, dot);
        QV_CHECK(CheckName("Request name", reqName, kNameWidth));
        QV_CHECK(ImportRequest(appId, reqName, call.body));
        TraceApplication(appId, "request " + reqName + " uploaded");
        return Answer(ReqsTable(appId));
    }
    os::DirBeneath dir;
    std::string name, folderWire;
    std::string refusal = UploadTarget(call, dir, name, folderWire);
    if (!refusal.empty()) return refusal;
    // A streamed upload's file lies whole beside its target; any other is the body.
    // The replaced file is freed once the answer has gone out.
    if (call.upload
            ? call.upload->Commit(true) != 0
            : os::ReplaceFile(dir.Join(name).c_str(), call.body.data(), call.body.size()) != 0)
        return Refuse(call, "Cannot write " + name);
    TraceApplication(appId, "file " + call.args[2] + " uploaded");
    return FileListAnswer(appId, static_cast<int>(kind), folderWire);
}

std::string DevServer::UploadTarget(Call& call, os::DirBeneath& dir, std::string& name,
                                    std::string& folderWire) {
    QV_NUMBER(appId, 0, 0, kMaxId, "Application id");
    QV_NUMBER(kind, 1, 1, 6, "Transfer kind");
    QV_APP(appId, app);
    std::vector<std::string> folder = FlatParts(static_cast<int>(kind));
    if (kind == 6) {
        QV_CHECK(SplitTransferName(call.args[2], folder, name));
    } else {
        name = call.args[2];
        QV_CHECK(CheckFileName(name));
    }
    // Missing folders are made; a part that exists must be a real folder, not a link.
    if (OpenAreaDir(app, folder, dir, true) != 0)
        return Refuse(call, "Cannot create the folder, or a part of it is no folder");
    const char k = dir.KindOf(name);
    if (k != 0 && k != 'f') return Refuse(call, name + " is a folder or a link");
    folderWire = WireFolder(folder);
    return {};
}

std::string DevServer::OpenUpload(Call& call, os::DirBeneath& dir, os::ReplacementFile& file) {
    std::string name, folderWire;
    std::string refusal = UploadTarget(call, dir, name, folderWire);
    if (!refusal.empty()) return refusal;
    if (file.Open(dir.Join(name).c_str()) != 0) return Refuse(call, "Cannot write " + name);
    return {};
}

}  // namespace devserver
