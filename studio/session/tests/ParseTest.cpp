// Reading answers: login results, every column layout, widths, numbers, documents.
#include <climits>

#include "studio/session/Layouts.h"
#include "studio/session/tests/SessionFixture.h"

using namespace session_test;
using testing_net::HttpOk;
using testing_net::HttpOkNoLength;

namespace {

std::string Script() {
    return std::string(ReqScript.GetContent() ? ReqScript.GetContent() : "",
                       static_cast<std::size_t>(ReqScript.GetSize()));
}

}  // namespace

TEST_F(SessionTest, LoginResultsAndWhatTheyTake) {
    Answer(HttpOk("Login OK!\r\nserver_userid=12\r\n", "Set-Cookie: jsessionid=42;path=/\r\n"));
    EXPECT_EQ(Session.ParseResponse(kCmdLogin), kLoginOk);
    EXPECT_EQ(Session.m_SessionID, 42);
    EXPECT_EQ(LoginUserID, 12);

    Answer(HttpOk("Login failed! Login OK!"));
    EXPECT_EQ(Session.ParseResponse(kCmdLogin), kLoginOk);
    Answer(HttpOk("Login failed!"));
    EXPECT_EQ(Session.ParseResponse(kCmdLogin), kLoginFailed);
    // Neither text: the numbers are still taken from the answer.
    Answer(HttpOk("Welcome"));
    EXPECT_EQ(Session.ParseResponse(kCmdLogin), kLoginUnknown);
    EXPECT_EQ(Session.m_SessionID, 0);
    EXPECT_EQ(LoginUserID, -1);
}

TEST_F(SessionTest, ApplicationsInRowOrderWithNumbersAsAtolReadsThem) {
    Answer(HttpOk("<h1>Apps <tr> in a heading</h1>" +
                  Table({{"app1", "7", "first", "30"},
                         {"app2", "12abc", "", ""},
                         {"app3", "  -4", "x", "+9"},
                         {"app4", "99999999999999999999999", "y", "-99999999999999999999999"}})));
    ASSERT_EQ(Session.ParseResponse(kCmdGetApps), 0);
    ASSERT_EQ(AppList.Count(), 5);  // the heading's "<tr>" starts an empty row
    AppItem* a = nullptr;
    AppList.GetAt(1, &a);
    EXPECT_EQ(a->m_Name, "app1");
    EXPECT_EQ(a->m_ID, 7);
    EXPECT_EQ(a->m_Description, "first");
    EXPECT_EQ(a->m_SessionTimeout, 30);
    AppList.GetAt(2, &a);
    EXPECT_EQ(a->m_ID, 12);
    EXPECT_EQ(a->m_SessionTimeout, 0);
    AppList.GetAt(3, &a);
    EXPECT_EQ(a->m_ID, -4);
    EXPECT_EQ(a->m_SessionTimeout, 9);
    AppList.GetAt(4, &a);
    EXPECT_EQ(a->m_ID, LONG_MAX);
    EXPECT_EQ(a->m_SessionTimeout, LONG_MIN);
}

TEST_F(SessionTest, TextsAreCutToTheirWidths) {
    const std::string longText(200, 'x');
    Answer(HttpOk(Table({{longText, longText, longText, longText}})));
    ASSERT_EQ(Session.ParseResponse(kCmdGetFiles), 0);
    FileItem* f = nullptr;
    ASSERT_EQ(FileList.GetAt(0, &f), 0);
    EXPECT_EQ(f->m_Name.size(), 99u);
    EXPECT_EQ(f->m_Size.size(), 20u);
    EXPECT_EQ(f->m_Modified.size(), 30u);
    EXPECT_EQ(f->m_Kind.size(), 23u);

    Answer(HttpOk(Table({{longText, "1", longText, longText, "2"}})));
    ASSERT_EQ(Session.ParseResponse(kCmdGetDSs), 0);
    DSItem* d = nullptr;
    ASSERT_EQ(DSList.GetAt(0, &d), 0);
    EXPECT_EQ(d->m_Name.size(), 50u);
    EXPECT_EQ(d->m_UserName.size(), 20u);
    EXPECT_EQ(d->m_Connections, 2);
}

TEST_F(SessionTest, EveryLayoutFillsItsOwnFields) {
    Answer(HttpOk(Table({{"mon", "watch", "1", "2", "3", "4"}})));
    ASSERT_EQ(Session.ParseResponse(kCmdGetConfigApps), 0);
    AppItem* m = nullptr;
    ASSERT_EQ(MonitorAppList.GetAt(0, &m), 0);
    EXPECT_EQ(m->m_Name, "mon");
    EXPECT_EQ(m->m_Description, "watch");
    EXPECT_EQ(m->m_SessionsNow, 1);
    EXPECT_EQ(m->m_SessionsToday, 2);
    EXPECT_EQ(m->m_SessionsMonth, 3);
    EXPECT_EQ(m->m_SessionsTotal, 4);
    EXPECT_EQ(AppList.Count(), 0);

    Answer(HttpOk(Table({{"p0", "0"}, {"p1", "1"}})));
    ASSERT_EQ(Session.ParseResponse(kCmdGetReqParams), 0);
    ParamListItem* p = nullptr;
    ASSERT_EQ(ReqParamList.GetAt(1, &p), 0);
    EXPECT_EQ(p->m_Name, "p1");
    EXPECT_EQ(p->m_Number, 1);

    // The three user layouts each have their own column order.
    Answer(HttpOk(Table({{"run1", "21"}})));
    ASSERT_EQ(Session.ParseResponse(kCmdGetReqUsers), 0);
    UserItem* u = nullptr;
    ASSERT_EQ(ReqUserList.GetAt(0, &u), 0);
    EXPECT_EQ(u->m_Name, "run1");
    EXPECT_EQ(u->m_ID, 21);
    Answer(HttpOk(Table({{"22", "dev1", "0"}})));
    ASSERT_EQ(Session.ParseResponse(kCmdGetAppUsers), 0);
    ASSERT_EQ(AppUserList.GetAt(0, &u), 0);
    EXPECT_EQ(u->m_ID, 22);
    EXPECT_EQ(u->m_Name, "dev1");
    EXPECT_EQ(u->m_Type, 0);
    Answer(HttpOk(Table({{"ann", "tester", "23", "1"}})));
    ASSERT_EQ(Session.ParseResponse(kCmdUserPwd), 0);
    ASSERT_EQ(UserList.GetAt(0, &u), 0);
    EXPECT_EQ(u->m_Name, "ann");
    EXPECT_EQ(u->m_Description, "tester");
    EXPECT_EQ(u->m_ID, 23);
    EXPECT_EQ(u->m_Type, 1);
    EXPECT_TRUE(u->m_Password.empty());

    Answer(HttpOk(Table({{"ds1", "3", "main", "scott", "5"}})));
    ASSERT_EQ(Session.ParseResponse(kCmdDSPwd), 0);
    DSItem* d = nullptr;
    ASSERT_EQ(DSList.GetAt(0, &d), 0);
    EXPECT_EQ(d->m_Name, "ds1");
    EXPECT_EQ(d->m_ID, 3);
    EXPECT_EQ(d->m_Description, "main");
    EXPECT_EQ(d->m_UserName, "scott");
    EXPECT_EQ(d->m_Connections, 5);

    // Htmls, Images and Data each fill their own list with the files of a folder listing
    // (the answer to a delete or rename); only Files keeps the kind.
    const int codes[] = {kCmdGetHtmls, kCmdGetImages, kCmdGetData};
    FileListType* lists[] = {&HtmlList, &ImageList, &DataList};
    for (int i = 0; i < 3; ++i) {
        Answer(HttpOk(Table({{"..", "", "", "1"},
                             {"sub", "", "2024-01-01", "1"},
                             {"f" + std::to_string(i), "12", "2024-01-02", "0"}})));
        ASSERT_EQ(Session.ParseResponse(codes[i]), 0);
        FileItem* f = nullptr;
        ASSERT_EQ(lists[i]->GetAt(0, &f), 0);
        EXPECT_EQ(f->m_Name, ("f" + std::to_string(i)).c_str());
        EXPECT_EQ(f->m_Size, "12");
        EXPECT_EQ(f->m_Modified, "2024-01-02");
        EXPECT_TRUE(f->m_Kind.empty());
        EXPECT_EQ(lists[i]->Count(), 1);
    }
    Answer(HttpOk(Table({{"..", "0", "", "1"}})));
    ASSERT_EQ(Session.ParseResponse(kCmdGetFiles), 0);
    FileItem* f = nullptr;
    ASSERT_EQ(FileList.GetAt(0, &f), 0);
    EXPECT_EQ(f->m_Kind, "1");

    Answer(HttpOk(Table({{"1", "0", "1", "0", "srv", "3", "1", "5.2", "100", "60", "40",
                          "2024-05-06", "10:11:12", "extra"}})));
    ASSERT_EQ(Session.ParseResponse(kCmdGetConfig), 0);
    EXPECT_EQ(ServerConfig.m_SystemTrace, "1");
    EXPECT_EQ(ServerConfig.m_AppTrace, "0");
    EXPECT_EQ(ServerConfig.m_RunTrace, "1");
    EXPECT_EQ(ServerConfig.m_JavaReload, "0");
    EXPECT_EQ(ServerConfig.m_ServerName, "srv");
    EXPECT_EQ(ServerConfig.m_HttpSessions, "3");
    EXPECT_EQ(ServerConfig.m_Executing, "1");
    EXPECT_EQ(ServerConfig.m_Version, "5.2");
    EXPECT_EQ(ServerConfig.m_MemoryTotal, "100");
    EXPECT_EQ(ServerConfig.m_MemoryAvailable, "60");
    EXPECT_EQ(ServerConfig.m_MemoryUsed, "40");
    EXPECT_EQ(ServerConfig.m_Date, "2024-05-06");
    EXPECT_EQ(ServerConfig.m_Time, "10:11:12");
}

TEST_F(SessionTest, RequestsGetTheirDataSourceNames) {
    Answer(HttpOk(Table({{"ds1", "3", "", "", "0"}, {"ds2", "4", "", "", "0"}})));
    ASSERT_EQ(Session.ParseResponse(kCmdGetDSs), 0);
    Answer(HttpOk(Table({{"q1", "1", "4", "5", "1", "0", "2024-01-01 10:00"},
                         {"q2", "2", "99", "5", "2", "1", "later"}})));
    ASSERT_EQ(Session.ParseResponse(kCmdGetReqs), 0);
    ReqItem* r = nullptr;
    ASSERT_EQ(ReqList.GetAt(0, &r), 0);
    EXPECT_EQ(r->m_Name, "q1");
    EXPECT_EQ(r->m_ID, 1);
    EXPECT_EQ(r->m_DSID, 4);
    EXPECT_EQ(r->m_AppID, 5);
    EXPECT_EQ(r->m_Language, 1);
    EXPECT_EQ(r->m_Access, 0);
    EXPECT_EQ(r->m_Modified.m_Text, "2024-01-01 10:00");
    EXPECT_EQ(r->m_DSName, "ds2");
    ASSERT_EQ(ReqList.GetAt(1, &r), 0);
    EXPECT_EQ(r->m_Access, 1);
    EXPECT_TRUE(r->m_DSName.empty());
}

TEST_F(SessionTest, RowsCellsAndTheEndOfTheTable) {
    // Fewer cells leave defaults, more are ignored, "<td>" inside a cell starts the next
    // column, stray text between cells is skipped, "</table>" ends the reading.
    Answer(
        HttpOk("<table><tr><td>short</td></tr>\r\n"
               "<tr><td>a</td><td>1</td><td>b</td><td>2</td><td>extra</td><td>more</td></tr>"
               "<tr><td>x<td>5</td> junk <td>desc</td></tr>"
               "</table><tr><td>after</td></tr>"));
    ASSERT_EQ(Session.ParseResponse(kCmdGetApps), 0);
    ASSERT_EQ(AppList.Count(), 3);
    AppItem* a = nullptr;
    AppList.GetAt(0, &a);
    EXPECT_EQ(a->m_Name, "short");
    EXPECT_EQ(a->m_ID, 0);
    EXPECT_TRUE(a->m_Description.empty());
    AppList.GetAt(1, &a);
    EXPECT_EQ(a->m_SessionTimeout, 2);
    AppList.GetAt(2, &a);
    EXPECT_EQ(a->m_Name, "x");
    EXPECT_EQ(a->m_ID, 5);
    EXPECT_EQ(a->m_Description, "desc");

    // A table cut short: the last row keeps the cells that came.
    AppList.Clear();
    Answer(HttpOkNoLength("<table><tr><td>a</td><td>1</td></tr><tr><td>b</td><td>2"));
    ASSERT_EQ(Session.ParseResponse(kCmdGetApps), 0);
    ASSERT_EQ(AppList.Count(), 2);
    AppList.GetAt(1, &a);
    EXPECT_EQ(a->m_Name, "b");
    EXPECT_EQ(a->m_ID, 2);
}

TEST_F(SessionTest, AnswersWithoutRowsLeaveTheListsAlone) {
    AppItem* keep = nullptr;
    AppList.Add(&keep);
    keep->m_Name = "kept";
    Answer(HttpOk("<html>No rows</html>"));
    EXPECT_EQ(Session.ParseTable(kCmdGetApps), -1);
    EXPECT_EQ(Session.ParseResponse(kCmdGetApps), 0);
    EXPECT_EQ(AppList.Count(), 1);
    EXPECT_TRUE(m_Reports.empty());
    // A code without a layout is refused with the studio's message.
    Answer(HttpOk(Table({{"a"}})));
    EXPECT_EQ(Session.ParseTable(kCmdSetConfig), -1);
    ASSERT_EQ(m_Reports.size(), 1u);
    EXPECT_EQ(m_Reports[0], "Quorvel Studio|Incorrect DevRequestType");
    // Codes whose answer is not read never touch a list.
    for (int code : {2, 12, 14, 16, 29, 31, 32, 33, 35, 37, 42, 0, 43})
        EXPECT_EQ(Session.ParseResponse(code), 0) << code;
    EXPECT_EQ(AppList.Count(), 1);
}

TEST_F(SessionTest, DocumentBodies) {
    Answer(HttpOk("select *"));
    ASSERT_EQ(Session.ParseResponse(kCmdGetReqScript), 0);
    EXPECT_EQ(Script(), "select *");
    // An empty document is an empty script, not a failure.
    Answer(HttpOk(""));
    ASSERT_EQ(Session.ParseResponse(kCmdGetReqScript), 0);
    EXPECT_EQ(ReqScript.GetSize(), 0);
    // Without Content-Length everything after the header is the body.
    Answer(HttpOkNoLength("trace line 1\r\ntrace line 2\r\n"));
    ASSERT_EQ(Session.ParseResponse(kCmdGetTrace), 0);
    EXPECT_EQ(std::string(TraceText.GetContent()), "trace line 1\r\ntrace line 2\r\n");
    // "Content-length" with a small l counts as the length too.
    Answer("HTTP/1.1 200 OK\r\nContent-length: 3\r\n\r\nabcdef");
    ASSERT_EQ(Session.ParseResponse(kCmdGetTrace), 0);
    EXPECT_EQ(std::string(TraceText.GetContent()), "abc");

    // Not documents: nothing is replaced.
    for (const char* bad : {"", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n", "garbage",
                            "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nshort",
                            "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n"}) {
        Answer(bad);
        EXPECT_EQ(Session.ParseResponse(kCmdGetTrace), -1) << bad;
        EXPECT_EQ(std::string(TraceText.GetContent()), "abc");
    }
    Answer(HttpOk("SERVER_ERROR: no trace"));
    EXPECT_EQ(Session.ParseResponse(kCmdGetTrace), kServerErrorCode);
    EXPECT_EQ(std::string(TraceText.GetContent()), "abc");
}

TEST(Layouts, ParseLongIsAtol) {
    EXPECT_EQ(ParseLong(""), 0);
    EXPECT_EQ(ParseLong("abc"), 0);
    EXPECT_EQ(ParseLong(" \t\n42x"), 42);
    EXPECT_EQ(ParseLong("-"), 0);
    EXPECT_EQ(ParseLong("+-3"), 0);
    EXPECT_EQ(ParseLong("-9223372036854775808"), LONG_MIN);
    EXPECT_EQ(ParseLong("9223372036854775807"), LONG_MAX);
    EXPECT_EQ(ParseLong("9223372036854775808"), LONG_MAX);
}
