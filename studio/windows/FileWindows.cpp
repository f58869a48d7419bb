#include "studio/windows/FileWindows.h"

#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "studio/windows/Columns.h"
#include "studio/windows/Transfer.h"

namespace qvw {

namespace {

constexpr int kFileToolbarSet = 6;
constexpr const char* kLineFormat = "%-30.30s %-7.7s %s";
// A record's kind in the Files list.
constexpr long kKindFile = 0;
constexpr long kKindFolder = 1;

struct FileKind {
    int viewCommand;
    const char* className;
    const char* titleWord;
    FileListType* list;
    int fetchCode;
    int transferKind;
    WindowSlot slot;
};
const FileKind kKinds[] = {
    {kCmdHtmls, "HtmlClassName", "Htmls [", &HtmlList, kCmdGetHtmls, kTransferHtml, kSlotHtmls},
    {kCmdImages, "ImageClassName", "Images [", &ImageList, kCmdGetImages, kTransferImage,
     kSlotImages},
    {kCmdData, "DataClassName", "Data [", &DataList, kCmdGetData, kTransferData, kSlotData},
    {kCmdFiles, "FilesClassName", "Files [", &FileList, kCmdGetFiles, kTransferFiles, kSlotFiles},
};

bool IsFiles(const FileKind& k) {
    return k.transferKind == kTransferFiles;
}

ListWindow& WindowOf(const FileKind& k);

// The current record's name and kind; the flat lists hold files only. False on an empty
// list.
bool TakeCurrent(const FileKind& k, std::string& name, long& kind) {
    return WithRecordAt(*k.list, WindowOf(k).Browse().CurrentIndex(), [&](FileItem& r) {
        name = r.m_Name.str();
        kind = IsFiles(k) ? LeadingNumber(r.m_Kind.str()) : kKindFile;
    });
}
// The commands on a file do nothing on a folder record, or one that is neither.
bool CurrentFile(const FileKind& k, std::string& name) {
    long kind = -1;
    return TakeCurrent(k, name, kind) && kind == kKindFile;
}

// A listed name that would change the server's argument list is refused: the command
// could act on another file. Open folder refuses such folders, so the path holds none.
bool Refused(gui::Window w, const std::string& name) {
    return RefuseArgumentBreakers(w, {name}, "File and folder names");
}

void OnDelete(const FileKind& k, gui::Window w) {
    std::string name;
    if (!CurrentFile(k, name) || Refused(w, name)) return;
    DeleteText = "Delete the file " + name + "?";
    TransferFileName = name;
    RunDeleteFileDialog(w);
    if (!TakeDialogOutcome()) return;
    DeleteCurrentFile(w);
    // The list may show a sub-folder; the title no longer says which.
    WindowOf(k).ReshowTitled();
}

void OnRename(const FileKind& k, gui::Window w) {
    std::string name;
    if (!CurrentFile(k, name) || Refused(w, name)) return;
    TransferFileName = name;
    RenameNewName = name;
    RunRenameDialog(w, *k.list);
    if (!TakeDialogOutcome()) return;
    RenameCurrentFile(w);
    WindowOf(k).Reshow();
}

// Into a sub-folder, or up with "..", which stops at the area's top.
void OnOpenFolder(const FileKind& k) {
    std::string name;
    long kind = -1;
    if (!TakeCurrent(k, name, kind) || kind != kKindFolder || Refused(WindowOf(k).Handle(), name))
        return;
    std::string path = FolderPath.str();
    if (name != "..") {
        path = path.empty() ? name : path + "\\" + name;
    } else {
        if (path.empty()) return;
        const std::size_t cut = path.rfind('\\');
        path.erase(cut == std::string::npos ? 0 : cut);
    }
    // A path cut to fit would name another folder.
    if (path.size() > FolderPath.kWidth) {
        Box(WindowOf(k).Handle(), "The folder path is too long!");
        return;
    }
    FolderPath = path;
    gui::SetWaitCursor();
    Fetch(FileList, kCmdGetFiles);
    gui::SetArrowCursor();
    WindowOf(k).Reshow();
    WindowOf(k).UpdateTitle(FolderPath.view());
}

// A command or a drop acts for its own window, which need not be the active one: the
// transfer kind (and with it the folder and list the file commands use) is the
// window's while it runs, and the active window's again afterwards.
class ActingKind {
public:
    explicit ActingKind(const FileKind& k) : m_Saved(TransferKind) {
        TransferKind = k.transferKind;
    }
    ~ActingKind() { TransferKind = m_Saved; }
    ActingKind(const ActingKind&) = delete;
    ActingKind& operator=(const ActingKind&) = delete;

private:
    int m_Saved;
};

void OnCommand(const FileKind& k, gui::Window w, int id) {
    std::string name;
    ActingKind acting(k);
    switch (id) {
        case kCmdDelete:
            OnDelete(k, w);
            break;
        case kCmdRename:
            OnRename(k, w);
            break;
        case kCmdUpload:
            if (!RunUpload(w)) break;
            DialogOutcome = 0;
            WindowOf(k).ReshowTitled();
            break;
        case kCmdDownload:
            if (CurrentFile(k, name)) RunDownload(w, name.c_str());
            break;
        case kCmdOpenFolder:
            if (IsFiles(k)) OnOpenFolder(k);
            break;
        default:  // New, Edit, Open, Password: nothing here
            break;
    }
}

// Dropped files go where the window's Upload would put them, one after the other; one
// that is refused (said why, by name) does not stop the others.
void OnDropFiles(const FileKind& k, gui::Window w, const std::vector<std::string>& paths) {
    ActingKind acting(k);
    bool ran = false;
    for (const std::string& path : paths) ran = UploadLocalFile(w, path) || ran;
    if (ran) WindowOf(k).ReshowTitled();
}

ListWindowKind MakeKind(const FileKind& k) {
    ListWindowKind d;
    d.className = k.className;
    d.titleWord = k.titleWord;
    d.defaultCommand = IsFiles(k) ? kCmdOpenFolder : 0;
    d.slot = k.slot;
    d.viewItem = k.viewCommand;
    d.columns = {"Name", "Size(K)", "Modified"};
    d.lineFormat = kLineFormat;
    d.header = [] { return FormatColumns(kLineFormat, {"Name", "Size(K)", "Modified"}); };
    FileListType* list = k.list;
    d.formatLine = [list](long index, char* buf, std::size_t size) {
        return WithRecordAt(*list, index, [buf, size](FileItem& r) {
            // A folder has no size; "<DIR>" tells it from an empty file at a glance.
            const bool folder = LeadingNumber(r.m_Kind.str()) == kKindFolder;
            FormatColumns(buf, size, kLineFormat,
                          {r.m_Name.view(), folder ? std::string_view("<DIR>") : r.m_Size.view(),
                           r.m_Modified.view()});
        });
    };
    d.count = [list] { return list->Count(); };
    d.refetch = [&k] { return Fetch(*k.list, k.fetchCode); };
    d.onCreate = [&k](gui::Window) {
        // The Files window starts at the top of the area every time.
        if (IsFiles(k)) FolderPath = "";
        Fetch(*k.list, k.fetchCode);
    };
    d.onActivate = [&k](gui::Window) {
        TransferKind = k.transferKind;
        gui::Menu menu = HostMenu(kReqMenu);
        gui::GreyItem(menu, kCmdNew, true);
        gui::GreyItem(menu, kCmdEdit, true);
        for (int id : {kCmdDelete, kCmdDownload, kCmdUpload, kCmdRename})
            gui::GreyItem(menu, id, false);
        HostToolbar(kFileToolbarSet);
    };
    d.onDestroy = [list](gui::Window) { list->Clear(); };
    d.onCommand = [&k](gui::Window w, int id) { OnCommand(k, w, id); };
    d.onDropFiles = [&k](gui::Window w, const std::vector<std::string>& paths) {
        OnDropFiles(k, w, paths);
    };
    return d;
}

const FileKind* KindOf(int viewCommand) {
    for (const FileKind& k : kKinds)
        if (k.viewCommand == viewCommand) return &k;
    return nullptr;
}

ListWindow& WindowOf(const FileKind& k) {
    static std::array<std::unique_ptr<ListWindow>, std::size(kKinds)> windows;
    auto& w = windows[static_cast<std::size_t>(&k - kKinds)];
    if (!w) w = std::make_unique<ListWindow>(MakeKind(k));
    return *w;
}

}  // namespace

ListWindow* FileWindow(int viewCommand) {
    const FileKind* k = KindOf(viewCommand);
    return k ? &WindowOf(*k) : nullptr;
}

void RegisterFileWindows() {
    for (const FileKind& k : kKinds) WindowOf(k).Register();
}

gui::Window OpenFileWindow(int viewCommand) {
    ListWindow* w = FileWindow(viewCommand);
    if (!w) return 0;
    w->Register();
    return w->Open();
}

}  // namespace qvw
