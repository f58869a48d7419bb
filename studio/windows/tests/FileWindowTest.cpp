// The file windows end to end against a real devserver with the demo application: the
// Files window's walk through the folders and its titles, file commands that leave
// folders alone, the Images and Data windows' titles after their commands, and files
// dropped from the desktop landing where the window shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/TestDriver.h"
#include "studio/resources/WindowResources.h"
#include "studio/windows/FileWindows.h"
#include "studio/windows/tests/Harness.h"

namespace {

using namespace qvwtest;
namespace gt = gui::test;
using namespace qvw;

const std::string kRefused = "may not contain \",\" or \")\"!";

// The next progress dialog closes once its transfer has ended.
void CloseProgress() {
    gt::OnDialog(kProgressDialog, [](gui::Dialog& d) {
        ASSERT_TRUE(WaitUntil([&d] { return d.IsEnabled(kIdClose); }));
        d.Press(kIdClose);
    });
}

// The cursor on the record of that name; Enter (or another command) then acts on it.
void Select(int viewCommand, FileListType& list, const char* name) {
    long index = qvw::IndexByName(list, name);
    ASSERT_GE(index, 0) << name;
    qvw::FileWindow(viewCommand)->Browse().GotoRecord(index + 1);
}
void Enter(gui::Window w) {
    gt::SendKey(w, gui::kVkReturn);
    gui::ProcessEvents();
}

struct FileWindowTest : ::testing::Test {
    DevServer server{true};
    fs::path dir;
    void SetUp() override {
        QVW_NEED_SERVER(server);
        ASSERT_TRUE(LoginAdmin(server.Port()));
        ASSERT_TRUE(TakeDemo());
        qvw::RegisterFileWindows();
        dir = MakeTempDir("files");
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
    }
    fs::path Local(const std::string& name) {
        WriteAll(dir / name, "bytes of " + name);
        return dir / name;
    }
};

TEST_F(FileWindowTest, FilesWalksTwoFoldersDeepAndBackWithTheTitlesOfItsCommands) {
    TestFrame frame;
    // docs\deep\x.txt, so that there are two levels below the top.
    TransferKind = kTransferFiles;
    FolderPath = "docs\\deep";
    TransferFileName = "x.txt";
    TransferLocalPath = Local("x.txt").string();
    ASSERT_EQ(qvw::Send(kCmdUploadFile), 0);

    gui::Menu req = frame.Menu("REQ_MENU");
    gui::GreyItem(req, kCmdRename, true);  // as the Requests window leaves it
    gui::Window w = qvw::OpenFileWindow(kCmdFiles);
    gui::ProcessEvents();
    qvw::ListWindow& win = *qvw::FileWindow(kCmdFiles);
    EXPECT_EQ(FolderPath.str(), "");
    // data, docs, images; index.html, ListCustomers.html, style.css
    EXPECT_EQ(gui::GetTitle(w), "Files [6]");
    EXPECT_EQ(frame.slots[qvw::kSlotFiles], w);
    EXPECT_EQ(TransferKind, kTransferFiles);
    EXPECT_TRUE(gui::IsItemGrey(req, kCmdNew) && gui::IsItemGrey(req, kCmdEdit));
    EXPECT_FALSE(gui::IsItemGrey(req, kCmdRename) || gui::IsItemGrey(req, kCmdDelete));
    EXPECT_EQ(frame.toolbarSets.back(), 6);
    EXPECT_EQ(win.Browse().HeaderText(), "Name                           Size(K) Modified");
    EXPECT_EQ(WindowLine(win, qvw::IndexByName(FileList, "style.css")).substr(0, 39),
              "style.css" + std::string(22, ' ') + "1" + std::string(7, ' '));

    // Enter on a file, and the file commands on a folder, do nothing.
    Select(kCmdFiles, FileList, "style.css");
    Enter(w);
    Select(kCmdFiles, FileList, "docs");
    for (int id : {kCmdDelete, kCmdRename, kCmdDownload}) RunCommand(w, id);
    EXPECT_TRUE(gt::DialogsOpened().empty());
    EXPECT_TRUE(gt::FileDialogs().empty());
    EXPECT_EQ(gui::GetTitle(w), "Files [6]");

    // A sub-folder of the top gives its bare name; a double click opens as Enter does.
    Enter(w);
    EXPECT_EQ(gui::GetTitle(w), "Files [3] docs");  // .., deep, readme.txt
    Select(kCmdFiles, FileList, "deep");
    gt::SendMessageTo(w, {gui::Msg::LButtonDblClk, 0, 0, 0});
    gui::ProcessEvents();
    EXPECT_EQ(gui::GetTitle(w), "Files [2] docs\\deep");

    // Upload and Delete inside it: the list is the sub-folder's, the title has no path.
    gt::QueueOpenFile(Local("y.txt").string());
    CloseProgress();
    RunCommand(w, kCmdUpload);
    EXPECT_EQ(gui::GetTitle(w), "Files [3]");
    EXPECT_GE(qvw::IndexByName(FileList, ".."), 0);
    Select(kCmdFiles, FileList, "x.txt");
    std::string line;
    gt::OnDialog(kDeleteDialog, [&line](gui::Dialog& d) {
        line = d.Text(kIdDeleteLine, 100);
        d.Press(1);
    });
    RunCommand(w, kCmdDelete);
    EXPECT_EQ(line, "x.txt");
    EXPECT_EQ(gui::GetTitle(w), "Files [2]");
    EXPECT_EQ(FolderPath.str(), "docs\\deep");

    // A file dropped from the desktop lands in the folder shown; a folder is not taken.
    CloseProgress();
    ASSERT_TRUE(gt::DropFiles(w, {Local("dropped.txt").string()}));
    EXPECT_TRUE(WaitUntil([] { return qvw::IndexByName(FileList, "dropped.txt") >= 0; }));
    gui::ProcessEvents();
    EXPECT_EQ(gui::GetTitle(w), "Files [3]");
    EXPECT_FALSE(gt::DropFiles(w, {dir.string()}));

    // ".." twice: the first folder, then the top, where the title ends in "] ".
    Select(kCmdFiles, FileList, "..");
    Enter(w);
    EXPECT_EQ(gui::GetTitle(w), "Files [3] docs");
    Select(kCmdFiles, FileList, "..");
    Enter(w);
    EXPECT_EQ(gui::GetTitle(w), "Files [6] ");
    EXPECT_EQ(FolderPath.str(), "");

    // At the top a ".." record, should a server list one, fetches nothing.
    FileItem* up = nullptr;
    ASSERT_EQ(FileList.Add(&up), 0);
    up->m_Name = "..";
    up->m_Kind = "1";
    win.Reshow();
    Select(kCmdFiles, FileList, "..");
    Enter(w);
    EXPECT_EQ(FileList.Count(), 7);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(FileWindowTest, ImagesAndDataTitlesRenameRefusalsDropsAndClosing) {
    TestFrame frame;
    gui::Menu req = frame.Menu("REQ_MENU");
    gui::AttachMenu(frame.Handle(), req);  // the Requests window is open
    gui::Window images = qvw::OpenFileWindow(kCmdImages);
    gui::ProcessEvents();
    EXPECT_EQ(gui::GetTitle(images), "Images [1]");
    EXPECT_EQ(TransferKind, kTransferImage);

    // A name that would change the server's argument list is refused before anything goes.
    gt::QueueOpenFile((dir / "a,b.png").string());
    RunCommand(images, kCmdUpload);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"File and folder names " + kRefused});
    EXPECT_TRUE(gt::DialogsOpened().empty());
    gt::Reset();
    gt::QueueOpenFile(Local("two.png").string());
    CloseProgress();
    RunCommand(images, kCmdUpload);
    EXPECT_EQ(gui::GetTitle(images), "Images [2]");
    gt::OnDialog(kDeleteDialog, [](gui::Dialog& d) { d.Press(1); });
    RunCommand(images, kCmdDelete);
    EXPECT_EQ(gui::GetTitle(images), "Images [1]");

    gui::Window data = qvw::OpenFileWindow(kCmdData);
    gui::ProcessEvents();
    EXPECT_EQ(gui::GetTitle(data), "Data [1]");
    bool stayed = false;
    gt::OnDialog(kRenameDialog, [&stayed](gui::Dialog& d) {
        EXPECT_EQ(d.Text(kIdFileName, 99), "customers.csv");
        d.SetText(kIdFileName, "x)y.csv");
        d.Press(1);
        stayed = !d.Ended();
        d.SetText(kIdFileName, "people.csv");
        d.Press(1);
    });
    RunCommand(data, kCmdRename);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"File names " + kRefused});
    EXPECT_EQ(WindowLine(*qvw::FileWindow(kCmdData), 0).substr(0, 11), "people.csv ");
    EXPECT_EQ(gui::GetTitle(data), "Data [1]");

    // Two files dropped on the Images window, behind the active Data window: both go to
    // the images, one after the other, and the active window's kind stays.
    CloseProgress();
    CloseProgress();
    ASSERT_TRUE(gt::DropFiles(images, {Local("p1.png").string(), Local("p2.png").string()}));
    EXPECT_TRUE(WaitUntil([] { return gt::PendingScripts() == 0; }));
    gui::ProcessEvents();
    EXPECT_EQ(gui::GetTitle(images), "Images [3]");
    EXPECT_EQ(TransferKind, kTransferData);

    // Closing the file windows tells the frame each time and leaves its menu alone.
    for (gui::Window w : {images, data}) {
        gt::SendKey(w, gui::kVkEscape);
        gui::ProcessEvents();
        EXPECT_EQ(frame.commands.back(), 127);
    }
    EXPECT_FALSE(gui::IsItemChecked(req, kCmdImages) || gui::IsItemChecked(req, kCmdData));
    EXPECT_EQ(frame.slots[qvw::kSlotImages] + frame.slots[qvw::kSlotData], 0);
    EXPECT_EQ(ImageList.Count() + DataList.Count(), 0);
    EXPECT_EQ(gui::MenuName(gui::AttachedMenu(frame.Handle())), "REQ_MENU");
}

}  // namespace
