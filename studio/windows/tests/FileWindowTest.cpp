// The file windows against a real devserver with the demo application: the Files
// window's folders and titles, the Images and Data windows' titles after their commands,
// names refused, and dropped files landing where the window shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "studio/windows/FileWindows.h"
#include "studio/windows/tests/Harness.h"

namespace {

using namespace qvwtest;
using namespace qvw;
namespace gt = gui::test;

// The next progress dialog closes once its transfer has ended.
void CloseProgress() {
    gt::OnDialog(kProgressDialog, [](gui::Dialog& d) {
        ASSERT_TRUE(WaitUntil([&d] { return d.IsEnabled(kIdClose); }));
        d.Press(kIdClose);
    });
}
// The names a list holds, in its order.
std::vector<std::string> Names(FileListType& list) {
    std::vector<std::string> names;
    for (long i = 0; i < list.Count(); ++i)
        WithRecordAt(list, i, [&names](FileItem& r) { names.push_back(r.m_Name.str()); });
    return names;
}
bool Holds(FileListType& list, const char* name) {
    return IndexByName(list, name) >= 0;
}
// The cursor on the record of that name, then Enter.
void EnterOn(gui::Window w, const char* name) {
    FileWindow(kCmdFiles)->Browse().GotoRecord(IndexByName(FileList, name) + 1);
    gt::SendKey(w, gui::kVkReturn);
    gui::ProcessEvents();
}

struct FileWindowTest : ::testing::Test {
    DevServer server{true};
    fs::path dir = MakeTempDir("files");
    void SetUp() override {
        QVW_NEED_SERVER(server);
        ASSERT_TRUE(LoginAdmin(server.Port()));
        ASSERT_TRUE(TakeDemo());
        RegisterFileWindows();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string Local(const std::string& name) {
        WriteAll(dir / name, name);
        return (dir / name).string();
    }
};

TEST_F(FileWindowTest, FilesWalksTwoFoldersDeepAndBackAndLeavesFoldersAlone) {
    TestFrame frame;
    TransferKind = kTransferFiles;  // docs\deep\x.txt: two levels below the top
    FolderPath = "docs\\deep";
    TransferFileName = "x.txt";
    TransferLocalPath = Local("x.txt");
    ASSERT_EQ(Send(kCmdUploadFile), 0);
    gui::Window w = OpenFileWindow(kCmdFiles);
    gui::ProcessEvents();
    EXPECT_EQ(gui::GetTitle(w), "Files [7]");  // data, docs, images and four pages
    EXPECT_EQ(frame.toolbarSets.back(), 6);

    // On a folder the file commands do nothing, and Enter on a file.
    EnterOn(w, "style.css");
    FileWindow(kCmdFiles)->Browse().GotoRecord(IndexByName(FileList, "docs") + 1);
    for (int id : {kCmdDelete, kCmdRename, kCmdDownload}) RunCommand(w, id);
    EXPECT_TRUE(gt::DialogsOpened().empty() && gt::FileDialogs().empty());
    EXPECT_EQ(gui::GetTitle(w), "Files [7]");

    gt::SendMessageTo(w, {gui::Msg::LButtonDblClk, 0, 0, 0});
    gui::ProcessEvents();
    EXPECT_EQ(gui::GetTitle(w), "Files [3] docs");  // .., deep, readme.txt
    EnterOn(w, "deep");
    EXPECT_EQ(gui::GetTitle(w), "Files [2] docs\\deep");

    // Upload, Delete and a drop inside it: the sub-folder's list, a title without it.
    gt::QueueOpenFile(Local("y.txt"));
    CloseProgress();
    RunCommand(w, kCmdUpload);
    EXPECT_EQ(gui::GetTitle(w), "Files [3]");
    FileWindow(kCmdFiles)->Browse().GotoRecord(IndexByName(FileList, "x.txt") + 1);
    gt::OnDialog(kDeleteDialog, [](gui::Dialog& d) { d.Press(1); });
    RunCommand(w, kCmdDelete);
    EXPECT_EQ(gui::GetTitle(w), "Files [2]");
    CloseProgress();
    ASSERT_TRUE(gt::DropFiles(w, {Local("dropped.txt")}));
    EXPECT_TRUE(gt::DropFiles(w, {dir.string()}));  // a folder is taken, then refused
    EXPECT_TRUE(WaitUntil([] { return gt::PendingScripts() == 0; }));
    gui::ProcessEvents();
    EXPECT_EQ(gui::GetTitle(w), "Files [3]");
    EXPECT_GE(IndexByName(FileList, "dropped.txt"), 0);
    EXPECT_GE(IndexByName(FileList, "y.txt"), 0);

    EnterOn(w, "..");
    EXPECT_EQ(gui::GetTitle(w), "Files [3] docs");
    EnterOn(w, "..");
    EXPECT_EQ(gui::GetTitle(w), "Files [7] ");
    FileItem* up = nullptr;  // a ".." at the top, should a server list one, goes nowhere
    ASSERT_EQ(FileList.Add(&up), 0);
    up->m_Name = "..";
    up->m_Kind = "1";
    FileWindow(kCmdFiles)->Reshow();
    EnterOn(w, "..");
    EXPECT_EQ(FileList.Count(), 8);
}

TEST_F(FileWindowTest, ImagesAndDataTitlesRefusedNamesDropsAndClosing) {
    TestFrame frame;
    gui::Menu req = frame.Menu("REQ_MENU");
    gui::AttachMenu(frame.Handle(), req);  // as with the Requests window open
    gui::Window images = OpenFileWindow(kCmdImages);
    gt::QueueOpenFile((dir / "a,b.png").string());
    RunCommand(images, kCmdUpload);
    gt::QueueOpenFile(Local("two.png"));
    CloseProgress();
    RunCommand(images, kCmdUpload);
    EXPECT_EQ(gui::GetTitle(images), "Images [2]");
    gt::OnDialog(kDeleteDialog, [](gui::Dialog& d) { d.Press(1); });
    RunCommand(images, kCmdDelete);
    EXPECT_EQ(gui::GetTitle(images), "Images [1]");

    gui::Window data = OpenFileWindow(kCmdData);
    gt::OnDialog(kRenameDialog, [](gui::Dialog& d) {
        d.SetText(kIdFileName, "x)y.csv");
        d.Press(1);
        d.SetText(kIdFileName, "people.csv");
        d.Press(1);
    });
    RunCommand(data, kCmdRename);
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{
                  "a,b.png was not uploaded: file names may not contain \",\" or \")\"!",
                  "File names may not contain \",\" or \")\"!"}));
    EXPECT_EQ(WindowLine(*FileWindow(kCmdData), 0).substr(0, 11), "people.csv ");
    EXPECT_EQ(gui::GetTitle(data), "Data [1]");
    FileItem* odd = nullptr;  // listed by some server: deleting it would name another file
    ASSERT_EQ(DataList.Add(&odd), 0);
    odd->m_Name = "a,b.csv";
    FileWindow(kCmdData)->Reshow();
    FileWindow(kCmdData)->Browse().GotoRecord(2);
    const std::size_t opened = gt::DialogsOpened().size();
    RunCommand(data, kCmdDelete);
    EXPECT_EQ(gt::DialogsOpened().size(), opened);
    EXPECT_EQ(BoxTexts().size(), 3u);

    // Dropped on Images behind the active Data window: both files become images.
    CloseProgress();
    CloseProgress();
    ASSERT_TRUE(gt::DropFiles(images, {Local("p1.png"), Local("p2.png")}));
    EXPECT_TRUE(WaitUntil([] { return gt::PendingScripts() == 0; }));
    gui::ProcessEvents();
    EXPECT_EQ(gui::GetTitle(images), "Images [3]");
    EXPECT_EQ(TransferKind, kTransferData);

    for (gui::Window w : {images, data}) gt::SendKey(w, gui::kVkEscape);
    gui::ProcessEvents();
    EXPECT_EQ(frame.commands, (std::vector<int>{127, 127}));
    EXPECT_FALSE(gui::IsItemChecked(req, kCmdImages) || gui::IsItemChecked(req, kCmdData));
    EXPECT_EQ(gui::MenuName(gui::AttachedMenu(frame.Handle())), "REQ_MENU");
}

// One name in the top folder, images/, data/ and docs/, and the four windows open (Files
// inside docs): Rename and Delete from each window in turn, the other windows' lists
// fetched last, change that window's file only, and it keeps its own list and title.
TEST_F(FileWindowTest, DeleteAndRenameActOnTheFileOfTheActingWindow) {
    TestFrame frame;
    for (int kind : {kTransferHtml, kTransferImage, kTransferData, kTransferFiles}) {
        TransferKind = kind;
        FolderPath = "docs";
        TransferFileName = "red.png";
        TransferLocalPath = Local("red.png");
        ASSERT_EQ(Send(kCmdUploadFile), 0) << kind;
    }
    struct Acting {
        int view;
        FileListType* list;
        int fetch;
        const char* word;
    };
    const Acting windows[] = {{kCmdImages, &ImageList, kCmdGetImages, "Images ["},
                              {kCmdFiles, &FileList, kCmdGetFiles, "Files ["},
                              {kCmdHtmls, &HtmlList, kCmdGetHtmls, "Htmls ["},
                              {kCmdData, &DataList, kCmdGetData, "Data ["}};
    for (const Acting& a : windows) OpenFileWindow(a.view);
    gui::ProcessEvents();
    EnterOn(FileWindow(kCmdFiles)->Handle(), "docs");
    ASSERT_EQ(FolderPath.str(), "docs");

    for (const Acting& a : windows) {
        for (const Acting& other : windows)
            if (&other != &a) Fetch(*other.list, other.fetch);
        ListWindow& win = *FileWindow(a.view);
        win.Browse().GotoRecord(IndexByName(*a.list, "red.png") + 1);
        gt::OnDialog(kRenameDialog, [](gui::Dialog& d) {
            d.SetText(kIdFileName, "blue.png");
            d.Press(1);
        });
        RunCommand(win.Handle(), kCmdRename);
        EXPECT_TRUE(Holds(*a.list, "blue.png") && !Holds(*a.list, "red.png")) << a.word;
        win.Browse().GotoRecord(IndexByName(*a.list, "blue.png") + 1);
        gt::OnDialog(kDeleteDialog, [](gui::Dialog& d) {
            EXPECT_EQ(d.Text(kIdDeleteLine, 200), "Delete the file blue.png?");
            d.Press(1);
        });
        RunCommand(win.Handle(), kCmdDelete);
        // The window's list is what its own fetch lists, and its title counts it.
        const std::vector<std::string> shown = Names(*a.list);
        EXPECT_FALSE(Holds(*a.list, "blue.png")) << a.word;
        EXPECT_EQ(gui::GetTitle(win.Handle()), CountedTitle(a.word, a.list->Count()));
        Fetch(*a.list, a.fetch);
        EXPECT_EQ(shown, Names(*a.list)) << a.word;
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{}) << a.word;
        // The windows not acted on yet still find their red.png on the server.
        bool later = false;
        for (const Acting& other : windows) {
            if (&other == &a) later = true;
            if (!later || &other == &a) continue;
            Fetch(*other.list, other.fetch);
            EXPECT_TRUE(Holds(*other.list, "red.png")) << other.word << " after " << a.word;
        }
    }
    EXPECT_EQ(FolderPath.str(), "docs");
    EXPECT_TRUE(Holds(FileList, "readme.txt") && Holds(FileList, ".."));
}

// Upload and drops over an existing file ask first; a dropped folder or a refused name
// is said by name while the rest of the drop uploads; folders show <DIR>; the delete
// question shows a long name whole.
TEST_F(FileWindowTest, UploadsAskBeforeReplacingAndDropsSayWhatTheyLeave) {
    TestFrame frame;
    gui::Window images = OpenFileWindow(kCmdImages);
    gui::ProcessEvents();
    ASSERT_TRUE(Holds(ImageList, "logo.png"));
    const std::string logo = Local("logo.png");
    std::string asked, title;
    auto answer = [&asked, &title](int button) {
        gt::OnDialog(kDeleteDialog, [&asked, &title, button](gui::Dialog& d) {
            asked = d.Text(kIdDeleteLine, 200);
            title = d.Title();
            d.Press(button);
        });
    };
    answer(2);
    gt::QueueOpenFile(logo);
    RunCommand(images, kCmdUpload);
    EXPECT_EQ(asked, "Replace the file logo.png?");
    EXPECT_EQ(title, "Upload");
    EXPECT_EQ(gt::DialogsOpened(), std::vector<int>{kDeleteDialog});  // nothing was sent
    answer(1);
    CloseProgress();
    gt::QueueOpenFile(logo);
    RunCommand(images, kCmdUpload);
    EXPECT_EQ(gt::DialogsOpened().back(), kProgressDialog);
    EXPECT_EQ(gui::GetTitle(images), "Images [1]");

    const fs::path folder = dir / "pictures";
    fs::create_directory(folder);
    CloseProgress();
    ASSERT_TRUE(gt::DropFiles(images, {folder.string(), Local("a,b.png"), Local("p1.png")}));
    EXPECT_TRUE(WaitUntil([] { return gt::PendingScripts() == 0; }));
    gui::ProcessEvents();
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{
                  "pictures was not uploaded: it is a folder, and only files are uploaded.",
                  "a,b.png was not uploaded: file names may not contain \",\" or \")\"!"}));
    EXPECT_EQ(gui::GetTitle(images), "Images [2]");

    gui::Window files = OpenFileWindow(kCmdFiles);
    gui::ProcessEvents();
    ListWindow& fw = *FileWindow(kCmdFiles);
    EXPECT_EQ(WindowLine(fw, IndexByName(FileList, "docs")).substr(0, 38),
              "docs                           <DIR>  ");
    EXPECT_NE(WindowLine(fw, IndexByName(FileList, "index.html")).substr(31, 5), "<DIR>");

    const std::string longName = std::string(90, 'n') + ".txt";
    TransferKind = kTransferFiles;
    TransferFileName = longName;
    TransferLocalPath = Local("red.png");
    ASSERT_EQ(Send(kCmdUploadFile), 0);
    Fetch(FileList, kCmdGetFiles);
    fw.Browse().GotoRecord(IndexByName(FileList, longName.c_str()) + 1);
    bool whole = false;
    gt::OnDialog(kDeleteDialog, [&asked, &whole](gui::Dialog& d) {
        asked = d.Text(kIdDeleteLine, 200);
        whole = gt::ShowsWholeText(d, kIdDeleteLine);
        d.Press(2);
    });
    RunCommand(files, kCmdDelete);
    EXPECT_EQ(asked, "Delete the file " + longName + "?");
    EXPECT_TRUE(whole);
    EXPECT_TRUE(Holds(FileList, longName.c_str()));
}

}  // namespace
