// Upload and download through the progress dialog and its worker, against real
// devservers; the checks before an upload; delete and rename of a server file; and the
// list that a worker refills while the window paints.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/gui/TestDriver.h"
#include "platform/net/TcpListener.h"
#include "studio/resources/WindowResources.h"
#include "studio/windows/AppWindow.h"
#include "studio/windows/Transfer.h"
#include "studio/windows/tests/Harness.h"

namespace {

using namespace qvwtest;
namespace gt = gui::test;

// What the progress dialog showed, at its start and at its end.
struct Progress {
    std::string title, file, startStatus, status, errorBox;
    bool closeAtStart = true, stopAtStart = false, errorEnabled = false, stopAtEnd = true;
    bool stayedOnCancel = false;
    long long bytes = -1;
    int focus = 0;  // the control with the focus once it has finished
};

// Scripts the next progress dialog: note what it shows, wait for the worker, note the
// outcome, press Error when it is offered, then Close.
void ScriptProgress(Progress& p) {
    gt::OnDialog(kProgressDialog, [&p](gui::Dialog& d) {
        p.title = d.Title();
        p.file = d.Text(kIdFileName, 1024);
        p.closeAtStart = d.IsEnabled(kIdClose);
        p.stopAtStart = d.IsEnabled(kIdStop);
        p.startStatus = d.Text(kIdStatusLine, 100);
        d.Press(kIdStop);
        d.Press(2);
        p.stayedOnCancel = !d.Ended();
        ASSERT_TRUE(WaitUntil([&d] { return d.IsEnabled(kIdClose); }));
        p.status = d.Text(kIdStatusLine, 100);
        p.errorEnabled = d.IsEnabled(kIdError);
        p.stopAtEnd = d.IsEnabled(kIdStop);
        p.bytes = d.ProgressValue(kIdProgressBar);
        p.focus = d.FocusedId();
        if (p.errorEnabled) {
            std::size_t before = gt::MessageBoxes().size();
            d.Press(kIdError);
            if (gt::MessageBoxes().size() > before) p.errorBox = gt::MessageBoxes().back().text;
        }
        d.Press(kIdClose);
    });
}

gui::Window OpenWindow() {
    qvw::Fetch(AppList, kCmdGetApps);
    gui::Window w = qvw::OpenApplications();
    gui::ProcessEvents();
    return w;
}

struct TransferTest : ::testing::Test {
    void SetUp() override {
        qvw::RegisterAppWindow();
        dir = MakeTempDir("files");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir;
};

TEST_F(TransferTest, UploadChecksRefuseBeforeAnythingIsSent) {
    TestFrame frame;
    AppList.Clear();
    AppItem* a = nullptr;
    AppList.Add(&a);
    a->m_Name = "demo";
    TransferKind = kTransferApp;
    // Nothing listens here: whatever passes the checks ends in a transport failure.
    Session.m_ServerAddress = net::MakeAddress(127, 0, 0, 1, 1);

    const std::string exactly50 = std::string(46, 'n') + ".app";
    const std::string over50 = std::string(47, 'n') + ".app";
    struct Case {
        std::string file;
        const char* message;  // nullptr: passes
    } cases[] = {
        {over50, "File name (Application name) is too long!"},
        {"demo.APP", "File name should have .app extention!"},
        {"demo.app", "Application already exists!"},
        {exactly50, nullptr},
        {"demo.app.old", "Application already exists!"},
    };
    for (const Case& c : cases) {
        gt::Reset();
        gt::QueueOpenFile((dir / c.file).string());
        Progress p;
        if (!c.message) ScriptProgress(p);
        bool ran = qvw::RunUpload(frame.Handle());
        EXPECT_EQ(ran, c.message == nullptr) << c.file;
        if (c.message) {
            ASSERT_EQ(BoxTexts(), std::vector<std::string>{c.message}) << c.file;
            EXPECT_EQ(gt::MessageBoxes()[0].owner, frame.Handle());
            EXPECT_TRUE(gt::DialogsOpened().empty());
        } else {
            EXPECT_EQ(TransferFileName.str(), c.file);
            EXPECT_EQ(TransferMode, 0);
            EXPECT_EQ(p.title, "Upload Application");
        }
    }
    ASSERT_EQ(gt::FileDialogs().size(), 1u);
    const auto& spec = gt::FileDialogs()[0].spec;
    ASSERT_EQ(spec.filters.size(), 1u);
    EXPECT_EQ(spec.filters[0].description, "APP Files (*.app)");

    // Requests: the same rules with their own texts; text after ".req" passes.
    ReqList.Clear();
    ReqItem* r = nullptr;
    ReqList.Add(&r);
    r->m_Name = "ListCustomers";
    TransferKind = kTransferRequest;
    for (auto [file, message] : std::vector<std::pair<std::string, std::string>>{
             {"ListCustomers.req", "Request already exists!"},
             {"ListCustomers.REQ", "File name should have .req extention!"},
             {std::string(47, 'r') + ".req", "File name (Request name) is too long!"}}) {
        gt::Reset();
        gt::QueueOpenFile((dir / file).string());
        EXPECT_FALSE(qvw::RunUpload(frame.Handle()));
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{message});
    }
    gt::Reset();
    gt::QueueOpenFile((dir / "Other.req.txt").string());
    Progress p;
    ScriptProgress(p);
    EXPECT_TRUE(qvw::RunUpload(frame.Handle()));
    EXPECT_EQ(p.title, "Upload Request");
    EXPECT_EQ(p.file, "Other.req.txt");
    // Cancelling the file dialog sends nothing.
    gt::Reset();
    gt::QueueOpenFile(std::nullopt);
    EXPECT_FALSE(qvw::RunUpload(frame.Handle()));
    EXPECT_TRUE(gt::DialogsOpened().empty());
    ReqList.Clear();
    AppList.Clear();
}

TEST_F(TransferTest, TransportFailuresEndInAnErrorThatSaysWhat) {
    TestFrame frame;
    // No server at all: an upload of a local file that exists.
    WriteAll(dir / "x.html", "<p>x</p>");
    TransferKind = kTransferHtml;
    Session.m_ServerAddress = net::MakeAddress(127, 0, 0, 1, 1);
    gt::QueueOpenFile((dir / "x.html").string());
    Progress p;
    ScriptProgress(p);
    ASSERT_TRUE(qvw::RunUpload(frame.Handle()));
    EXPECT_EQ(p.title, "Upload File");
    EXPECT_EQ(p.status, "Finished! There is an error!");
    EXPECT_TRUE(p.errorEnabled);
    EXPECT_EQ(p.focus, kIdError);
    EXPECT_FALSE(p.stopAtEnd);
    EXPECT_NE(p.errorBox.find("Server not found!"), std::string::npos) << p.errorBox;

    // A server that takes the connection and never answers: the dialog cannot be left
    // while the worker waits, and the time-out is an error too.
    net::TcpListener silent;
    ASSERT_EQ(silent.Listen("127.0.0.1", 0), 0);
    Session.m_ServerAddress = net::MakeAddress(127, 0, 0, 1, silent.Port());
    Session.SetTimeouts(2000, 1200);
    WriteAll(dir / "keep.html", "precious");
    gt::Reset();
    gt::QueueSaveFile((dir / "keep.html").string());
    Progress q;
    ScriptProgress(q);
    qvw::RunDownload(frame.Handle(), "index.html");
    EXPECT_EQ(q.title, "Download File");
    // The worker waits for the answer meanwhile: the dialog shows it is working.
    EXPECT_EQ(q.startStatus, "Working . . .");
    EXPECT_TRUE(q.stopAtStart);
    EXPECT_TRUE(q.stayedOnCancel);
    EXPECT_FALSE(q.closeAtStart);
    EXPECT_EQ(q.status, "Finished! There is an error!");
    EXPECT_EQ(q.errorBox, "The server did not answer in time!");
    EXPECT_EQ(ReadAll(dir / "keep.html"), "precious");
    ASSERT_EQ(gt::FileDialogs().size(), 1u);
    EXPECT_TRUE(gt::FileDialogs()[0].save);
    EXPECT_TRUE(gt::FileDialogs()[0].spec.confirmOverwrite);
    EXPECT_EQ(gt::FileDialogs()[0].spec.fileName, "index.html");
    EXPECT_EQ(gt::FileDialogs()[0].spec.filters.size(), 3u);
}

TEST_F(TransferTest, AnApplicationMovesFromOneServerToAnother) {
    // The target knows the users and data sources that the application names, but not
    // the application itself.
    DevServer from(true), to(true);
    QVW_NEED_SERVER(from);
    QVW_NEED_SERVER(to);
    TestFrame frame;
    ASSERT_TRUE(LoginAdmin(from.Port()));
    gui::Window w = OpenWindow();
    ASSERT_EQ(AppList.Count(), 1);
    gt::QueueSaveFile((dir / "demo.app").string());
    Progress down;
    ScriptProgress(down);
    gui::SendCommand(w, 115);
    EXPECT_EQ(down.title, "Download Application");
    EXPECT_EQ(down.file, "demo.app");
    EXPECT_EQ(down.status, "Finished!") << down.errorBox;
    EXPECT_FALSE(down.errorEnabled);
    const std::string exported = ReadAll(dir / "demo.app");
    ASSERT_FALSE(exported.empty());
    EXPECT_EQ(down.focus, kIdClose);
    // The bar counts the file's bytes: not the answer's header, not the command.
    EXPECT_EQ(down.bytes, static_cast<long long>(exported.size()));
    gui::MdiDestroy(w);
    gui::ProcessEvents();

    ASSERT_TRUE(LoginAdmin(to.Port()));
    qvw::Fetch(AppList, kCmdGetApps);
    qvw::WithRecordAt(AppList, 0, [](AppItem& a) { CurrentApp.m_ID = a.m_ID; });
    ASSERT_EQ(qvw::Send(kCmdDeleteApp), 0);
    w = OpenWindow();
    ASSERT_EQ(AppList.Count(), 0);
    gt::Reset();
    gt::QueueOpenFile((dir / "demo.app").string());
    Progress up;
    ScriptProgress(up);
    gui::SendCommand(w, 116);
    EXPECT_EQ(up.status, "Finished!") << up.errorBox;
    EXPECT_EQ(up.bytes, static_cast<long long>(exported.size()));
    // The worker refilled the list from the upload's answer and the window shows it.
    ASSERT_EQ(AppList.Count(), 1);
    EXPECT_EQ(qvw::AppWindow().Browse().GetNumberOfRecords(), 1);
    EXPECT_EQ(qvw::DialogOutcome, 0);
    // Uploading it again is refused by the checks, before anything is sent.
    gt::Reset();
    gt::QueueOpenFile((dir / "demo.app").string());
    gui::SendCommand(w, 116);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Application already exists!"});

    gt::Reset();
    gt::QueueSaveFile((dir / "again.app").string());
    Progress back;
    ScriptProgress(back);
    gui::SendCommand(w, 115);
    EXPECT_EQ(back.status, "Finished!") << back.errorBox;
    EXPECT_EQ(ReadAll(dir / "again.app"), exported);
}

TEST_F(TransferTest, ARefusedDownloadLeavesTheLocalFileAlone) {
    DevServer server(true);
    QVW_NEED_SERVER(server);
    TestFrame frame;
    ASSERT_TRUE(LoginAdmin(server.Port()));
    gui::Window w = OpenWindow();
    ASSERT_EQ(AppList.Count(), 1);
    // The application goes away on the server while the window still lists it.
    qvw::WithRecordAt(AppList, 0, [](AppItem& a) { CurrentApp.m_ID = a.m_ID; });
    ASSERT_EQ(qvw::Send(kCmdDeleteApp), 0);
    WriteAll(dir / "demo.app", "precious");
    gt::QueueSaveFile((dir / "demo.app").string());
    Progress p;
    ScriptProgress(p);
    gui::SendCommand(w, 115);
    EXPECT_EQ(p.status, "Finished! There is an error!");
    // The Error button gives the server's reason, not its raw answer.
    EXPECT_FALSE(p.errorBox.empty());
    EXPECT_EQ(p.errorBox.find("SERVER_ERROR"), std::string::npos) << p.errorBox;
    EXPECT_EQ(p.errorBox.find("HTTP/"), std::string::npos) << p.errorBox;
    EXPECT_EQ(ReadAll(dir / "demo.app"), "precious");
}

TEST_F(TransferTest, DeleteAndRenameKeepTheListWhenTheServerRefuses) {
    DevServer server(true);
    QVW_NEED_SERVER(server);
    TestFrame frame;
    ASSERT_TRUE(LoginAdmin(server.Port()));
    qvw::Fetch(AppList, kCmdGetApps);
    qvw::WithRecordAt(AppList, 0, [](AppItem& a) {
        CurrentApp.m_ID = a.m_ID;
        CurrentApp.m_Name = a.m_Name.view();
    });
    qvw::Fetch(DataList, kCmdGetData);
    ASSERT_GE(qvw::IndexByName(DataList, "customers.csv"), 0);
    TransferKind = kTransferData;
    FolderPath = "";

    TransferFileName = "customers.csv";
    RenameNewName = "clients.csv";
    EXPECT_EQ(qvw::RenameCurrentFile(frame.Handle()), 0);
    EXPECT_GE(qvw::IndexByName(DataList, "clients.csv"), 0);
    EXPECT_LT(qvw::IndexByName(DataList, "customers.csv"), 0);
    const long count = DataList.Count();

    TransferFileName = "missing.csv";
    RenameNewName = "other.csv";
    EXPECT_NE(qvw::RenameCurrentFile(frame.Handle()), 0);
    ASSERT_EQ(gt::MessageBoxes().size(), 1u);
    EXPECT_EQ(gt::MessageBoxes()[0].text.find("SERVER_ERROR"), std::string::npos);
    EXPECT_FALSE(gt::MessageBoxes()[0].text.empty());
    EXPECT_EQ(DataList.Count(), count);
    EXPECT_NE(qvw::DeleteCurrentFile(frame.Handle()), 0);
    EXPECT_EQ(gt::MessageBoxes().size(), 2u);
    EXPECT_EQ(DataList.Count(), count);

    TransferFileName = "clients.csv";
    EXPECT_EQ(qvw::DeleteCurrentFile(frame.Handle()), 0);
    EXPECT_EQ(DataList.Count(), count - 1);
    EXPECT_LT(qvw::IndexByName(DataList, "clients.csv"), 0);
    EXPECT_EQ(gt::MessageBoxes().size(), 2u);
    DataList.Clear();
}

TEST_F(TransferTest, RenameDialogChecksTheCallersListAndDeleteDialogShowsTheLine) {
    TestFrame frame;
    FileListType& own = DataList;
    own.Clear();
    FileList.Clear();
    for (const char* n : {"a.txt", "b.txt"}) {
        FileItem* f = nullptr;
        own.Add(&f);
        f->m_Name = n;
    }
    FileItem* other = nullptr;
    FileList.Add(&other);
    other->m_Name = "c.txt";  // another window's file: no reason to refuse
    TransferFileName = "a.txt";
    gt::OnDialog(kRenameDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Text(kIdFileName, 200), "a.txt");
        d.SetText(kIdFileName, "b.txt");
        d.Press(1);
        d.SetText(kIdFileName, "");
        d.Press(1);
        EXPECT_FALSE(d.Ended());
        EXPECT_EQ(d.Text(kIdFileName, 200), "");
        d.SetText(kIdFileName, "c.txt");
        d.Press(1);
    });
    EXPECT_TRUE(qvw::RunRenameDialog(frame.Handle(), own));
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"File already exists!", "No file name!"}));
    EXPECT_EQ(RenameNewName.str(), "c.txt");
    EXPECT_EQ(qvw::DialogOutcome, 1);
    qvw::DialogOutcome = 0;
    gt::OnDialog(kRenameDialog, [](gui::Dialog& d) { d.Press(2); });
    EXPECT_FALSE(qvw::RunRenameDialog(frame.Handle(), own));

    qvw::DeleteText = "File :  a.txt";
    gt::OnDialog(kDeleteDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Title(), "Delete");
        EXPECT_EQ(d.Text(kIdDeleteLine, 200), "File :  a.txt");
        d.Press(1);
    });
    EXPECT_TRUE(qvw::RunDeleteFileDialog(frame.Handle()));
    qvw::DialogOutcome = 0;
    gt::OnDialog(kDeleteDialog, [](gui::Dialog& d) { d.Press(2); });
    EXPECT_FALSE(qvw::RunDeleteFileDialog(frame.Handle()));
    own.Clear();
    FileList.Clear();
    EXPECT_STREQ(qvw::ProgressTitle(6), "???");
    EXPECT_EQ(qvw::UploadFilters(kTransferFiles).size(), 7u);
    EXPECT_EQ(qvw::UploadFilters(kTransferFiles)[3].pattern, "*.jpg;*.gif;*.png");
}

TEST_F(TransferTest, WindowPaintsWhileAWorkerRefillsTheList) {
    TestFrame frame;
    AppList.Clear();
    for (int i = 0; i < 40; ++i) {
        AppItem* a = nullptr;
        AppList.Add(&a);
        a->m_Name = "app" + std::to_string(i);
    }
    gui::Window w = qvw::OpenApplications();
    gui::ProcessEvents();
    std::atomic<bool> stop{false};
    std::thread worker([&stop] {
        while (!stop) {
            AppList.Clear();
            for (int i = 0; i < 40; ++i) {
                AppItem* a = nullptr;
                if (AppList.Add(&a) == 0) a->m_Name = "refill" + std::to_string(i);
            }
        }
    });
    const int before = gt::PaintCount(w);
    for (int i = 0; i < 200; ++i) {
        gui::Invalidate(w, nullptr, true);
        gui::UpdateNow(w);
    }
    stop = true;
    worker.join();
    EXPECT_GT(gt::PaintCount(w), before);
    gui::MdiDestroy(w);
    gui::ProcessEvents();
    EXPECT_EQ(AppList.Count(), 0);
}

}  // namespace
