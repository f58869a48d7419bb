// The application file areas: listings for the four file windows, delete, rename and
// the file transfers (kinds 1, 2, 3 and 6); requests and applications move in Transfer.cpp.
#include <sys/stat.h>

#include <algorithm>
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
std::string FlatDir(const std::string& area, int kind) {
    if (kind == 2) return os::JoinPath({area, "images"});
    if (kind == 3) return os::JoinPath({area, "data"});
    return area;
}

std::string Join(const std::string& area, const std::vector<std::string>& parts) {
    std::string p = area;
    for (const auto& s : parts) p = os::JoinPath({p, s});
    return p;
}

std::string WireFolder(const std::vector<std::string>& parts) {
    std::string w;
    for (const auto& s : parts) w += (w.empty() ? "" : "\\") + s;
    return w;
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsRealDirectory(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

Table DevServer::FlatFilesTable(const std::string& dir) {
    Table t{{99, 20, 30}, {}};
    std::vector<os::DirEntry> entries;
    os::ListDirectory(dir.c_str(), entries);
    for (const auto& e : entries) {
        // Names no command could address (dot files, the temporaries of atomic writes) stay hidden.
        if (e.isDirectory || !CheckFileName(e.name).empty()) continue;
        if (!IsRegularFile(os::JoinPath({dir, e.name}))) continue;
        t.Row({e.name, SizeK(e.size), DisplayTime(e.modifiedSeconds)});
    }
    return t;
}

Table DevServer::FolderTable(const std::string& area, const std::vector<std::string>& parts) {
    Table t{{99, 20, 30, 23}, {}};
    std::string dir = Join(area, parts);
    std::vector<os::DirEntry> entries;
    os::ListDirectory(dir.c_str(), entries);
    if (!parts.empty()) t.Row({"..", "", "", "1"});
    for (const auto& e : entries)
        if (CheckFileName(e.name).empty() && IsRealDirectory(os::JoinPath({dir, e.name})))
            t.Row({e.name, "", DisplayTime(e.modifiedSeconds), "1"});
    for (const auto& e : entries)
        if (CheckFileName(e.name).empty() && IsRegularFile(os::JoinPath({dir, e.name})))
            t.Row({e.name, SizeK(e.size), DisplayTime(e.modifiedSeconds), "0"});
    return t;
}

namespace {
int ListingSlot(int kind) {
    return kind == 6 ? 3 : kind - 1;
}
}  // namespace

void DevServer::RememberListing(const Call& call, long appId, int kind, const std::string& folder) {
    std::lock_guard<std::mutex> g(m_SessionLock);
    auto it = m_Sessions.find(call.sessionId);
    if (it == m_Sessions.end()) return;
    Session::Listing& l = it->second.lists[ListingSlot(kind)];
    l.appId = appId;
    l.seq = ++m_ListSeq;
    l.folder = folder;
}

// The list a file window shows, as the answer to a fetch or to a change in it.
std::string DevServer::FileListAnswer(Call& call, long appId, int kind,
                                      const std::string& folderWire) {
    std::string name;
    AppName(appId, name);
    std::string area = AppArea(name);
    RememberListing(call, appId, kind, folderWire);
    if (kind == 6) {
        std::vector<std::string> parts;
        CheckFolder(folderWire, parts);
        return Answer(FolderTable(area, parts));
    }
    return Answer(FlatFilesTable(FlatDir(area, kind)));
}

std::string DevServer::GetHtmls(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    QV_APP(id, app);
    return FileListAnswer(call, id, 1, "");
}

std::string DevServer::GetImages(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    QV_APP(id, app);
    return FileListAnswer(call, id, 2, "");
}

std::string DevServer::GetData(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    QV_APP(id, app);
    return FileListAnswer(call, id, 3, "");
}

std::string DevServer::GetFiles(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    QV_APP(id, app);
    std::vector<std::string> parts;
    QV_CHECK(CheckFolder(call.args[1], parts));
    if (!IsRealDirectory(Join(AppArea(app), parts)))
        return Refuse(call, "No such folder " + call.args[1]);
    return FileListAnswer(call, id, 6, WireFolder(parts));
}

// DeleteFile and RenameFile carry no kind, and the studio sends the Files window's
// folder with them from every file window. The places a name can mean: first the
// windows this session has listed for this application, the most recently listed
// first (each window fetches its list when it opens and after every change, so that
// is the window the user works in), the Files window at the folder sent; then the
// folder sent, the top (Htmls), images/ and data/. The first place that holds a file
// of that name wins, and the answer is that place's list in its window's layout.
std::string DevServer::LocateFile(Call& call, long appId, const std::string& area,
                                  const std::string& folder, const std::string& name,
                                  std::string& path, int& kind, std::string& listFolder) {
    std::vector<std::string> parts;
    std::string why = CheckFolder(folder, parts);
    if (!why.empty()) return why;
    why = CheckFileName(name);
    if (!why.empty()) return why;
    struct Place {
        int kind;
        long long seq;
    };
    std::vector<Place> places;
    {
        std::lock_guard<std::mutex> g(m_SessionLock);
        auto it = m_Sessions.find(call.sessionId);
        if (it != m_Sessions.end())
            for (int k : {1, 2, 3, 6}) {
                const Session::Listing& l = it->second.lists[ListingSlot(k)];
                if (l.appId == appId) places.push_back({k, l.seq});
            }
    }
    std::sort(places.begin(), places.end(),
              [](const Place& a, const Place& b) { return a.seq > b.seq; });
    if (!parts.empty()) places.push_back({6, 0});
    for (int k : {1, 2, 3}) places.push_back({k, 0});
    for (const auto& p : places) {
        std::string dir = p.kind == 6 ? Join(area, parts) : FlatDir(area, p.kind);
        std::string candidate = os::JoinPath({dir, name});
        if (IsRegularFile(candidate)) {
            path = candidate;
            kind = p.kind;
            listFolder = p.kind == 6 ? WireFolder(parts) : std::string();
            return {};
        }
    }
    return "No such file " + name;
}

std::string DevServer::DeleteFile(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    QV_APP(id, app);
    std::string path, listFolder;
    int kind = 0;
    QV_CHECK(
        LocateFile(call, id, AppArea(app), call.args[1], call.args[2], path, kind, listFolder));
    if (os::RemoveFile(path.c_str()) != 0) return Refuse(call, "Cannot delete " + call.args[2]);
    TraceApplication(id, "file " + call.args[2] + " deleted");
    return FileListAnswer(call, id, kind, listFolder);
}

std::string DevServer::RenameFile(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    QV_APP(id, app);
    QV_CHECK(CheckFileName(call.args[3]));
    std::string path, listFolder;
    int kind = 0;
    QV_CHECK(
        LocateFile(call, id, AppArea(app), call.args[1], call.args[2], path, kind, listFolder));
    std::string target = os::JoinPath({os::DirName(path), call.args[3]});
    std::error_code ec;
    if (fs::exists(fs::symlink_status(target, ec)))
        return Refuse(call, "File " + call.args[3] + " exists already");
    if (os::RenamePath(path.c_str(), target.c_str()) != 0)
        return Refuse(call, "Cannot rename " + call.args[2]);
    TraceApplication(id, "file " + call.args[2] + " renamed to " + call.args[3]);
    return FileListAnswer(call, id, kind, listFolder);
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
    std::string path;
    if (kind == 6) {
        std::vector<std::string> folder;
        std::string name;
        QV_CHECK(SplitTransferName(call.args[2], folder, name));
        path = os::JoinPath({Join(AppArea(app), folder), name});
    } else {
        QV_CHECK(CheckFileName(call.args[2]));
        path = os::JoinPath({FlatDir(AppArea(app), static_cast<int>(kind)), call.args[2]});
    }
    if (!IsRegularFile(path)) return Refuse(call, "No such file " + call.args[2]);
    // The file is sent from disk after the header: memory does not grow with its size.
    auto file = std::make_unique<os::FileReader>();
    if (file->Open(path.c_str()) != 0) return Refuse(call, "Cannot read " + call.args[2]);
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
    std::string path, folderWire;
    std::string refusal = UploadTarget(call, path, folderWire);
    if (!refusal.empty()) return refusal;
    // A streamed upload's file lies whole beside its target; any other is the body.
    // The replaced file is freed once the answer has gone out.
    if (call.upload ? call.upload->Commit(true) != 0
                    : os::ReplaceFile(path.c_str(), call.body.data(), call.body.size()) != 0)
        return Refuse(call, "Cannot write " + os::BaseName(path));
    TraceApplication(appId, "file " + call.args[2] + " uploaded");
    return FileListAnswer(call, appId, static_cast<int>(kind), folderWire);
}

std::string DevServer::UploadTarget(Call& call, std::string& path, std::string& folderWire) {
    QV_NUMBER(appId, 0, 0, kMaxId, "Application id");
    QV_NUMBER(kind, 1, 1, 6, "Transfer kind");
    QV_APP(appId, app);
    std::vector<std::string> folder;
    std::string name;
    if (kind == 6) {
        QV_CHECK(SplitTransferName(call.args[2], folder, name));
    } else {
        name = call.args[2];
        QV_CHECK(CheckFileName(name));
    }
    std::string dir =
        kind == 6 ? Join(AppArea(app), folder) : FlatDir(AppArea(app), static_cast<int>(kind));
    std::error_code ec;
    // Every part was checked; a part that exists must be a real folder, not a file or a link.
    std::string walk = AppArea(app);
    for (const auto& part : folder) {
        walk = os::JoinPath({walk, part});
        if (fs::exists(fs::symlink_status(walk, ec)) && !IsRealDirectory(walk))
            return Refuse(call, "Folder " + part + " is not a folder");
    }
    if (os::MakeDirectories(dir.c_str()) != 0) return Refuse(call, "Cannot create the folder");
    path = os::JoinPath({dir, name});
    if (fs::exists(fs::symlink_status(path, ec)) && !IsRegularFile(path))
        return Refuse(call, name + " is a folder");
    folderWire = WireFolder(folder);
    return {};
}

std::string DevServer::OpenUpload(Call& call, os::ReplacementFile& file) {
    std::string path, folderWire;
    std::string refusal = UploadTarget(call, path, folderWire);
    if (!refusal.empty()) return refusal;
    if (file.Open(path.c_str()) != 0) return Refuse(call, "Cannot write " + os::BaseName(path));
    return {};
}

}  // namespace devserver
