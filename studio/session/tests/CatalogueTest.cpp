// The exact bytes of every command on the wire.
#include <string>
#include <utility>

#include "platform/os/Files.h"
#include "studio/session/tests/SessionFixture.h"

using namespace session_test;

namespace {

const std::string kEnd = "\r\n\r\n";
const std::string kScript = std::string("select 1\0\r\n\r\n&&&)", 18);
const std::string kUpload = std::string("\x00\x01\xff<td>,)\r\n\r\n", 12);

class CatalogueTest : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        Credentials.m_UserName = "admin";
        Credentials.m_Password = "secret";
        CurrentApp.m_Name = "app1";
        CurrentApp.m_ID = 5;
        CurrentApp.m_Description = "first";
        CurrentApp.m_SessionTimeout = 30;
        CurrentReq.m_Name = "req1";
        CurrentReq.m_ID = 9;
        CurrentReq.m_DSID = 3;
        CurrentReq.m_AppID = 5;
        CurrentReq.m_Language = 1;
        CurrentReq.m_Access = 0;
        CurrentDS.m_Name = "ds1";
        CurrentDS.m_ID = 3;
        CurrentDS.m_Description = "main";
        CurrentDS.m_Connections = 4;
        CurrentDS.m_UserName = "dbuser";
        CurrentDS.m_Password = "dbpass";
        CurrentUser.m_Name = "ann";
        CurrentUser.m_Password = "pw";
        CurrentUser.m_Description = "dev";
        CurrentUser.m_ID = 11;
        CurrentUser.m_Type = 1;
        ServerConfig.m_JavaReload = "1";
        ServerConfig.m_SystemTrace = "0";
        ServerConfig.m_AppTrace = "1";
        ServerConfig.m_RunTrace = "0";
        TraceKind = 2;
        TransferKind = kTransferData;
        TransferFileName = "f.txt";
        FolderPath = "pages\\img";
        FileFolder = "pages\\img";
        RenameNewName = "g.txt";
        const char* names[] = {"a", "b"};
        for (int i = 0; i < 2; ++i) {
            ParamListItem* p = nullptr;
            ASSERT_EQ(ReqParamList.Add(&p), 0);
            p->m_Name = names[i];
            p->m_Number = 7;  // the stored number is not what is sent
        }
        for (long id : {11L, 12L}) {
            UserItem* u = nullptr;
            ASSERT_EQ(ReqUserList.Add(&u), 0);
            u->m_ID = id;
        }
        ReqScript.Alloc(100, 100);
        ReqScript.AddContent(kScript.data(), static_cast<long>(kScript.size()));
        ASSERT_EQ(os::ReplaceFile(m_Dir.File("up.bin").c_str(), kUpload), 0);
        TransferLocalPath = m_Dir.File("up.bin");
    }

    // Runs one exchange and returns the bytes the server received.
    std::string Sent(int code) {
        m_Server.Push(testing_net::Whole(testing_net::HttpOk("")));
        EXPECT_EQ(Session.Execute(code), 0) << "code " << code;
        EXPECT_TRUE(m_Server.WaitDone(++m_Exchanges));
        return m_Server.LastRequest();
    }

    TempDir m_Dir;
    int m_Exchanges = 0;
};

}  // namespace

TEST_F(CatalogueTest, EveryCommandGoesOutByteExact) {
    const std::pair<int, std::string> expected[] = {
        {1, "server_request=server_login(admin,secret)" + kEnd},
        {2, "server_request=server_logout()" + kEnd},
        {3, "server_request=GetApps()" + kEnd},
        {4, "server_request=NewApp(app1,first,30)" + kEnd},
        {5, "server_request=EditApp(app1,5,first,30)" + kEnd},
        {6, "server_request=DeleteApp(5)" + kEnd},
        {7, "server_request=GetReqs(5)" + kEnd},
        {8, "server_request=NewReq(req1,3,5,1,0)" + kEnd},
        {9, "server_request=EditReq(req1,9,3,5,1,0)" + kEnd},
        {10, "server_request=DeleteReq(9)" + kEnd},
        {11, "server_request=GetReqParams(9)" + kEnd},
        {12,
         "server_request=SetReqParams(9)&&&<table><tr><td>a</td><td>0</td></tr>"
         "<tr><td>b</td><td>1</td></tr></table>" +
             kEnd},
        {13, "server_request=GetReqUsers(9)" + kEnd},
        {14,
         "server_request=SetReqUsers(9)&&&<table><tr><td>11</td></tr><tr><td>12</td></tr>"
         "</table>" +
             kEnd},
        {15, "server_request=GetReqScript(9)" + kEnd},
        {16, "server_request=SetReqScript(9)&&&" + kScript + kEnd},
        {17, "server_request=GetDSs()" + kEnd},
        {18, "server_request=NewDS(ds1,main,4)" + kEnd},
        {19, "server_request=EditDS(ds1,3,main,4)" + kEnd},
        {20, "server_request=DeleteDS(3)" + kEnd},
        {21, "server_request=GetUsers()" + kEnd},
        {22, "server_request=NewUser(ann,dev,1)" + kEnd},
        {23, "server_request=EditUser(ann,dev,11,1)" + kEnd},
        {24, "server_request=DeleteUser(11)" + kEnd},
        {25, "server_request=GetHtmls(5)" + kEnd},
        {26, "server_request=GetImages(5)" + kEnd},
        {27, "server_request=GetData(5)" + kEnd},
        {28, "server_request=GetConfig()" + kEnd},
        {29, "server_request=SetConfig(1,0,1,0)" + kEnd},
        {30, "server_request=DownloadFile(5,3,f.txt)" + kEnd},
        {31, "server_request=UploadFile(5,3,f.txt)&&&" + kUpload + kEnd},
        {32, "server_request=DeleteFile(5,pages\\img,f.txt)" + kEnd},
        {33, "server_request=RenameFile(5,pages\\img,f.txt,g.txt)" + kEnd},
        {34, "server_request=GetTrace(2)" + kEnd},
        {35, "server_request=CleanTrace(2)" + kEnd},
        {36, "server_request=GetConfigApps()" + kEnd},
        {37, "server_request=?[)" + kEnd},
        {38, "server_request=UserPwd(pw,11)" + kEnd},
        {39, "server_request=DSPwd(3,dbuser,dbpass)" + kEnd},
        {40, "server_request=GetFiles(5,pages\\img)" + kEnd},
        {41, "server_request=GetAppUsers(5)" + kEnd},
        {42, "server_request=SetAppUsers(5)&&&<table></table>" + kEnd},
        {0, "server_request=?[)" + kEnd},
        {43, "server_request=?[)" + kEnd},
        {-1, "server_request=?[)" + kEnd},
    };
    for (const auto& [code, body] : expected) {
        std::string sent = Sent(code);
        EXPECT_TRUE(sent == Request(body)) << "code " << code << "\n" << sent;
    }
    EXPECT_TRUE(m_Reports.empty());
}

TEST_F(CatalogueTest, CookieFollowsTheLoginAndSurvivesTheLogout) {
    EXPECT_EQ(Sent(3).find("Cookie"), std::string::npos);
    m_Server.Push(testing_net::Whole(
        testing_net::HttpOk("Login OK!\r\nserver_userid=4\r\n", "Set-Cookie: jsessionid=77\r\n")));
    ASSERT_EQ(Session.Execute(kCmdLogin), 0);
    ASSERT_TRUE(m_Server.WaitDone(++m_Exchanges));
    ASSERT_EQ(Session.ParseResponse(kCmdLogin), kLoginOk);
    EXPECT_EQ(Session.m_SessionID, 77);
    EXPECT_EQ(LoginUserID, 4);
    // The documented shape of GetApps after login, byte for byte.
    EXPECT_EQ(Sent(3),
              "DEV \r\nCookie: jsessionid=77\r\nContent-Length: 28\r\n\r\n"
              "server_request=GetApps()\r\n\r\n");
    EXPECT_EQ(Sent(2), Request("server_request=server_logout()" + kEnd, 77));
    EXPECT_EQ(Sent(3), Request("server_request=GetApps()" + kEnd, 77));
}

TEST_F(CatalogueTest, FileNamesOfKindFilesCarryTheFolder) {
    TransferKind = kTransferFiles;
    // The holder keeps the bare name: a second try (after a failed one) sends the same.
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(Sent(30), Request("server_request=DownloadFile(5,6,pages\\img\\f.txt)" + kEnd));
        EXPECT_EQ(TransferFileName, "f.txt");
    }
    // FormatCommand shows what Execute sends.
    std::string text;
    Vessel extra;
    ASSERT_EQ(Session.FormatCommand(kCmdDownloadFile, text, extra), 0);
    EXPECT_EQ(text, "server_request=DownloadFile(5,6,pages\\img\\f.txt)" + kEnd);
    EXPECT_EQ(Sent(31),
              Request("server_request=UploadFile(5,6,pages\\img\\f.txt)&&&" + kUpload + kEnd));
    // Delete and rename send folder and name apart.
    TransferFileName = "f.txt";
    EXPECT_EQ(Sent(32), Request("server_request=DeleteFile(5,pages\\img,f.txt)" + kEnd));
    // A request file is downloaded by the request's id.
    TransferKind = kTransferRequest;
    EXPECT_EQ(Sent(30), Request("server_request=DownloadFile(9,4,f.txt)" + kEnd));
}

TEST_F(CatalogueTest, EmptyTextsLeaveNothingBetweenTheCommas) {
    CurrentUser = CurrentUserRec{};
    EXPECT_EQ(Sent(22), Request("server_request=NewUser(,,0)" + kEnd));
    ReqScript.Free();
    EXPECT_EQ(Sent(16), Request("server_request=SetReqScript(9)&&&" + kEnd));
    ReqParamList.Clear();
    EXPECT_EQ(Sent(12), Request("server_request=SetReqParams(9)&&&<table></table>" + kEnd));
}

TEST_F(CatalogueTest, OverLongOrUnreadableArgumentsAreRefusedBeforeConnecting) {
    // Folder, backslash and name together would not fit the name's holder.
    TransferKind = kTransferFiles;
    FolderPath = std::string(1000, 'd');
    TransferFileName = std::string(40, 'n');
    EXPECT_EQ(Session.Execute(kCmdDownloadFile), -1);
    EXPECT_EQ(TransferFileName, std::string(40, 'n'));
    EXPECT_STREQ(Session.GetErrorText(), "The file name with its folder is too long!");
    // An upload whose local file cannot be read would replace the server's copy with
    // nothing.
    TransferKind = kTransferData;
    TransferLocalPath = m_Dir.File("missing.bin");
    EXPECT_EQ(Session.Execute(kCmdUploadFile), -1);
    EXPECT_EQ(std::string(Session.GetErrorText()),
              "The local file cannot be read: " + m_Dir.File("missing.bin"));
    EXPECT_EQ(Session.m_ErrorCode, 0);
    EXPECT_EQ(m_Server.Connections(), 0);
    // The bound itself: every other command text fits, however long its fields are.
    std::string text;
    Vessel extra;
    extra.Alloc(10, 10);
    FileFolder = std::string(1024, 'f');
    TransferFileName = std::string(1024, 'n');
    RenameNewName = std::string(1024, 'r');
    EXPECT_EQ(Session.FormatCommand(kCmdRenameFile, text, extra), 0);
    EXPECT_EQ(text.size(), std::string("server_request=RenameFile(5,,,)").size() + 3 * 1024 + 4);
}

TEST_F(CatalogueTest, NamesAndCodesOfTheCatalogue) {
    EXPECT_STREQ(CommandName(3), "GetApps");
    EXPECT_STREQ(CommandName(42), "SetAppUsers");
    EXPECT_STREQ(CommandName(37), "");
    EXPECT_STREQ(CommandName(43), "");
    EXPECT_EQ(CommandCodeOf("DSPwd"), 39);
    EXPECT_EQ(CommandCodeOf("getapps"), 0);
    EXPECT_EQ(CommandCodeOf(""), 0);
    for (int code = 1; code <= 42; ++code) {
        if (code == 37) continue;
        EXPECT_EQ(CommandCodeOf(CommandName(code)), code);
    }
    EXPECT_EQ(ListCodeOfKind(kTransferHtml), 25);
    EXPECT_EQ(ListCodeOfKind(kTransferFiles), 40);
    EXPECT_EQ(ListCodeOfKind(kTransferRequest), 7);
    EXPECT_EQ(ListCodeOfKind(kTransferApp), 3);
}
