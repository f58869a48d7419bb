// quorvel-windows-tour: drives the studio into its object windows for screenshots under
// a virtual X server. Run it in a workspace prepared like the studio's own
// (quorvelide.cfg), with a devserver holding the demo data.
//
//   quorvel-windows-tour DIR PORT PASSWORD [SCALE]
//       connects to 127.0.0.1:PORT as admin, adds two applications, and writes
//       DIR/applications.png, app-dialog.png, progress.png, requests.png (the demo
//       application's requests), request-editor.png, script-editor.png,
//       find-in-scripts.png, find-script-at-line.png, then adds a data
//       source and a user and writes data-sources.png, ds-dialog.png, users.png and
//       user-dialog.png, after files.png (the Files window in the demo application's
//       docs folder) and images.png (needs ImageMagick's import); SCALE is the
//       QT_SCALE_FACTOR in use, to crop the frame's area
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"
#include "studio/resources/ShellResources.h"
#include "studio/resources/WindowResources.h"
#include "studio/shell/Shell.h"
#include "studio/shell/tools/TourShots.h"
#include "studio/windows/AppWindow.h"
#include "studio/windows/DSWindow.h"
#include "studio/windows/FileWindows.h"
#include "studio/windows/ReqWindow.h"
#include "studio/windows/Transfer.h"
#include "studio/windows/UserWindow.h"
#include "studio/windows/Windows.h"

namespace {

using tour::Settle;

std::string g_Dir;
double g_Scale = 1;

void Shot(const char* name) {
    tour::Shot(g_Dir, g_Scale, name, "quorvel-windows-tour");
}
// The whole screen: the script editor is larger than the frame.
void ScreenShot(const char* name) {
    Settle();
    const std::string cmd = "import -window root '" + g_Dir + "/" + name + ".png'";
    if (std::system(cmd.c_str()) != 0)
        std::fprintf(stderr, "quorvel-windows-tour: %s failed\n", cmd.c_str());
}

// A few more files in the demo application's area, sent as the Files window's uploads
// are: folder\name with the Files kind, a bare name with the Images kind.
void UploadDemoFiles() {
    struct File {
        int kind;
        const char* folder;
        const char* name;
        std::size_t size;
    } files[] = {
        {kTransferFiles, "docs\\guides", "setup.txt", 3000},
        {kTransferFiles, "docs", "price-list.pdf", 48000},
        {kTransferFiles, "docs", "terms.html", 9000},
        {kTransferImage, "", "banner.jpg", 120000},
        {kTransferImage, "", "products.png", 36000},
        {kTransferImage, "", "icons.gif", 5000},
    };
    const std::string local = g_Dir + "/.tour-upload";
    for (const File& f : files) {
        if (FILE* out = std::fopen(local.c_str(), "wb")) {
            for (std::size_t i = 0; i < f.size; ++i)
                std::fputc('a' + static_cast<int>(i % 26), out);
            std::fclose(out);
        }
        TransferKind = f.kind;
        FolderPath = f.folder;
        TransferFileName = f.name;
        TransferLocalPath = local;
        if (Session.Execute(kCmdUploadFile) != 0)
            std::fprintf(stderr, "quorvel-windows-tour: upload of %s failed\n", f.name);
    }
    std::remove(local.c_str());
}

// The Files window inside the docs folder, and the Images window over it.
void FileWindows() {
    UploadDemoFiles();
    gui::SendCommand(shell::Frame(), qvw::kCmdFiles);
    gui::Window files = gui::ActiveChild(shell::Frame());
    qvw::FileWindow(qvw::kCmdFiles)->Browse().GotoRecord(qvw::IndexByName(FileList, "docs") + 1);
    gui::test::SendKey(files, gui::kVkReturn);
    Settle();
    qvw::FileWindow(qvw::kCmdFiles)
        ->Browse()
        .GotoRecord(qvw::IndexByName(FileList, "terms.html") + 1);
    Shot("files");
    gui::SendCommand(shell::Frame(), qvw::kCmdImages);
    Shot("images");
    gui::SendCommand(shell::Frame(), qvw::kCmdImages);
    gui::SendCommand(shell::Frame(), qvw::kCmdFiles);
    Settle();
}

// The Data Sources and Users windows, each with one more record made through its dialog
// and the dialog shown on a demo record.
void DataSourcesAndUsers() {
    gui::SendCommand(shell::Frame(), 104);
    gui::Window ds = gui::ActiveChild(shell::Frame());
    gui::test::OnDialog(kDSDialog, [](gui::Dialog& d) {
        d.SetText(kIdDSName, "warehouse");
        d.SetText(kIdDSDescription, "Stock levels of the central warehouse");
        d.SetText(kIdDSConnections, "12");
        d.Press(1);
    });
    gui::SendCommand(ds, 109);
    Shot("data-sources");
    qvw::DSWindow().Browse().GotoRecord(qvw::IndexByName(DSList, "demo-db") + 1);
    gui::test::OnDialog(kDSDialog, [](gui::Dialog& d) {
        Shot("ds-dialog");
        d.Press(2);
    });
    gui::SendCommand(ds, 110);
    gui::MdiDestroy(ds);
    Settle();
    gui::SendCommand(shell::Frame(), 105);
    gui::Window users = gui::ActiveChild(shell::Frame());
    gui::test::OnDialog(kUserDialog, [](gui::Dialog& d) {
        d.SetText(kIdUserName, "auditor");
        d.SetText(kIdUserDescription, "Checks the figures");
        d.ListSelect(kIdUserType, 1);
        d.Press(1);
    });
    gui::SendCommand(users, 109);
    Shot("users");
    qvw::UserWindow().Browse().GotoRecord(qvw::IndexByName(UserList, "developer") + 1);
    gui::test::OnDialog(kUserDialog, [](gui::Dialog& d) {
        Shot("user-dialog");
        d.Press(2);
    });
    gui::SendCommand(users, 110);
    gui::MdiDestroy(users);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: quorvel-windows-tour DIR PORT PASSWORD [SCALE]\n");
        return 2;
    }
    g_Dir = argv[1];
    const std::string port = argv[2], password = argv[3];
    if (argc > 4) g_Scale = std::atof(argv[4]);
    gui::Application app(argc, argv);
    RegisterShellResources();
    gui::SetAppIcon(AppIconXpm());
    qvw::RegisterAll();
    if (shell::Start() != 0) return 1;
    Settle();
    gui::test::Enable();
    tour::Connect(port, password);
    gui::SendCommand(shell::Frame(), 103);
    gui::Window apps = gui::ActiveChild(shell::Frame());
    // Two more applications beside the demo, made through the application dialog.
    struct App {
        const char* name;
        const char* description;
        const char* timeout;
    };
    for (App a : {App{"inventory", "Stock levels and reorders", "20"},
                  App{"helpdesk-tickets-2026", "Support tickets of the service desk team", "45"}}) {
        gui::test::OnDialog(kAppDialog, [a](gui::Dialog& d) {
            d.SetText(kIdAppName, a.name);
            d.SetText(kIdAppDescription, a.description);
            d.SetText(kIdAppTimeout, a.timeout);
            d.Press(kIdAddUser);
            d.Press(1);
        });
        gui::SendCommand(apps, 109);
    }
    Shot("applications");
    gui::test::OnDialog(kAppDialog, [](gui::Dialog& d) {
        Shot("app-dialog");
        d.Press(2);
    });
    gui::SendCommand(apps, 110);
    // A download into a scratch folder, shown once it has finished.
    std::string scratch = g_Dir + "/.tour-download.app";
    gui::test::QueueSaveFile(scratch);
    gui::test::OnDialog(kProgressDialog, [](gui::Dialog& d) {
        for (int i = 0; i < 1000 && !d.IsEnabled(kIdClose); ++i) {
            gui::ProcessEvents();
            usleep(5000);
        }
        Shot("progress");
        d.Press(kIdClose);
    });
    gui::SendCommand(apps, 115);
    std::remove(scratch.c_str());
    // The demo application's requests, one of them in the editor, its script beside it.
    qvw::AppWindow().Browse().GotoRecord(qvw::IndexByName(AppList, "demo") + 1);
    gui::SendCommand(apps, 112);
    Settle(3);
    gui::Window reqs = gui::ActiveChild(shell::Frame());
    Shot("requests");
    qvw::ReqWindow().Browse().GotoRecord(qvw::IndexByName(ReqList, "AddOrder") + 1);
    gui::test::OnDialog(kReqDialog, [](gui::Dialog& d) {
        Settle(2);
        Shot("request-editor");
        gui::test::OnDialog(kScriptDialog, [](gui::Dialog& s) {
            s.SetText(kIdScript,
                      "-- A new order of a customer; the amount in cents.\r\n"
                      "INSERT INTO orders(customer_id, amount, placed)\r\n"
                      "SELECT c.id, ?, CURRENT_TIMESTAMP\r\n"
                      "  FROM customers c\r\n"
                      " WHERE c.id = ? AND c.blocked = 0\r\n");
            Settle(2);
            ScreenShot("script-editor");
            gui::test::OnDialog(kCancelDialog, [](gui::Dialog& c) { c.Press(1); });
            s.Press(kCmdScriptCancel);
        });
        d.Press(kIdSource);
        gui::test::OnDialog(kCancelDialog, [](gui::Dialog& c) { c.Press(1); });
        d.Press(2);
    });
    gui::SendCommand(reqs, 110);
    // Find in Scripts, and a line found opened in its script.
    gui::test::OnDialog(kFindScriptsDialog, [](gui::Dialog& d) {
        d.SetText(kIdFindText, "customers");
        d.Press(kIdFindGo);
        Settle(2);
        Shot("find-in-scripts");
        gui::test::OnDialog(kScriptDialog, [](gui::Dialog& s) {
            Settle(2);
            ScreenShot("find-script-at-line");
            s.Press(kCmdScriptCancel);
        });
        d.ListSelect(kIdFindResults, 2);
        d.Press(kIdFindOpen);
        d.Press(2);
    });
    gui::SendCommand(reqs, 135);
    FileWindows();
    // Closing the last window of the application gives the frame its connected menu back.
    gui::MdiDestroy(reqs);
    Settle();
    DataSourcesAndUsers();
    for (const auto& box : gui::test::MessageBoxes())
        std::fprintf(stderr, "quorvel-windows-tour: message box \"%s\"\n", box.text.c_str());
    if (shell::Frame()) gui::DestroyWindow(shell::Frame());
    gui::ProcessEvents();
    shell::Finish();
    gui::test::Disable();
    return 0;
}
