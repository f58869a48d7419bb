// Multipart upload of arbitrary requests into a temporary folder: whatever the request
// names, nothing may appear anywhere but in the application's data folder.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "webproc/HttpProcessor.h"

namespace {

namespace fs = std::filesystem;

// Created once per process: top/root/shop/data. Anything written by a traversal of a
// few levels lands in top or root, where the check after every run sees it.
struct Folder {
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "fuzz-upload-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        top = pattern;
        root = top / "root";
        fs::create_directories(root / "shop" / "data");
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(Get().top, ec);
        });
    }
    static Folder& Get() {
        static Folder folder;
        return folder;
    }
    fs::path top;
    fs::path root;
};

bool Under(const fs::path& path, const fs::path& folder) {
    const fs::path rel = path.lexically_relative(folder);
    return !rel.empty() && *rel.begin() != ".." && rel.has_filename() && rel.parent_path().empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Folder& folder = Folder::Get();
    HttpProcessor http;
    http.m_Message.AddContent(reinterpret_cast<const char*>(data), static_cast<long>(size));
    http.GetHttpType();
    http.GetReqType();
    char name[51];
    ParamList<ParamListItem> params;
    http.GetRequestNameAndParams(name, sizeof name, params);
    // The application as a server takes it, from the request path.
    char app[50] = "";
    http.GetAppName(app, sizeof app);
    if (!app[0]) std::snprintf(app, sizeof app, "shop");
    UploadTraceList<UploadTraceListItem> trace;
    http.Upload(app, params, folder.root.c_str(), trace);

    const fs::path dataFolder = folder.root / app / "data";
    const fs::path shopData = folder.root / "shop" / "data";
    for (const auto& e : fs::recursive_directory_iterator(folder.top)) {
        const fs::path& p = e.path();
        if (e.is_directory()) {
            if (p != folder.root && p != folder.root / "shop" && p != shopData) std::abort();
            continue;
        }
        if (!Under(p, dataFolder)) std::abort();
    }
    // A part reported written is in the data folder.
    for (long i = 0; i < trace.Count(); ++i) {
        UploadTraceListItem* item = nullptr;
        if (trace.GetAt(i, &item) != kListOk || !item) std::abort();
        if (item->m_Status == 0 && (!Under(fs::path(item->m_ServerFile.str()), dataFolder) ||
                                    !fs::exists(fs::path(item->m_ServerFile.str()))))
            std::abort();
    }
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(shopData)) fs::remove(e.path(), ec);
    return 0;
}
