#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "logbook/WStrace.h"
#include "platform/os/Files.h"
#include "webproc/HttpProcessor.h"
#include "webproc/TableResult.h"

namespace {

std::string Text(const Vessel& v) {
    return std::string(v.GetContent() ? v.GetContent() : "", static_cast<size_t>(v.GetSize()));
}

// A table of records x fields, cell (r, f) holding "r<r>f<f>".
RosterU* Grid(TableList<TableListItem>& list, int records, int fields) {
    RosterU* t = AddTable(list);
    for (int f = 0; f < fields; ++f) t->CreateField(20);
    for (int r = 0; r < records; ++r) {
        t->CreateRecord();
        for (int f = 0; f < fields; ++f) {
            const std::string s = "r" + std::to_string(r) + "f" + std::to_string(f);
            const std::u16string u(s.begin(), s.end());
            t->SetField(r, f, u.c_str());
        }
    }
    return t;
}

std::string Body(TableList<TableListItem>& list, const std::string& tpl) {
    Vessel out;
    f_TableListToHttpResultFromText(list, nullptr, out, tpl, false);
    return Text(out);
}

struct TempDir {
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "webproc-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string path;
};

// A folder with a trace file in it, written without time stamps.
struct TracedDir : TempDir {
    TracedDir() {
        trace.SetFileName(traceFile.c_str());
        trace.SetTimeStatus(0);
    }
    const std::string traceFile = os::JoinPath({path, "trace.txt"});
    WStrace trace;
};

TEST(TableResult, FieldMarker) {
    TableList<TableListItem> list;
    RosterU* t = Grid(list, 3, 2);
    t->SetField(0, 1, u"abc");
    EXPECT_EQ(Body(list, "<p>#FIELD(0,0,1)</p>"), "<p>abc</p>");
    EXPECT_EQ(Body(list, "#FIELD(0, 2 ,0)"), "r2f0");
    // Out of range, wrong argument counts and unfinished markers stay as text.
    for (const char* stays :
         {"#FIELD(0,5,0)", "#FIELD(1,0,0)", "#FIELD(0,0,2)", "#FIELD(0,0)", "#FIELD(0,0,0,0)",
          "#TABLE()", "#TABLE(0,1,2)", "#TABLE(-1)", "#SELECT(0,0)", "#SELECT(0,0,9)",
          "#FIELD(0,0,0", "#FIELD(0,\n0,0)", "#TAB", "##"})
        EXPECT_EQ(Body(list, stays), stays);
    EXPECT_EQ(Body(list, "##FIELD(0,1,1)#"), "#r1f1#");
}

TEST(TableResult, TableMarker) {
    TableList<TableListItem> list;
    RosterU* t = Grid(list, 3, 2);
    EXPECT_EQ(Body(list, "<table>#TABLE(0)</table>"),
              "<table><tr><td>r0f0</td><td>r0f1</td></tr>\n"
              "<tr><td>r1f0</td><td>r1f1</td></tr>\n"
              "<tr><td>r2f0</td><td>r2f1</td></tr></table>");
    t->SetTRParam("class=a", "class=b");
    t->SetTDParam("nowrap");
    t->SetTDParam(1, "align=right");
    EXPECT_EQ(Body(list, "#TABLE(0,7)"),
              "<tr class=a><td nowrap>r0f0</td><td nowrap align=right>r0f1</td></tr>\n"
              "<tr class=b><td nowrap>r1f0</td><td nowrap align=right>r1f1</td></tr>\n"
              "<tr class=a><td nowrap>r2f0</td><td nowrap align=right>r2f1</td></tr>");

    TableList<TableListItem> multi;
    RosterU* m = AddTable(multi);
    m->SetMultiSelected();
    m->CreateField(5);
    m->CreateField(5);
    for (int r = 0; r < 2; ++r) {
        m->CreateRecord();
        m->SetField(r, 0, r ? u"b" : u"a");
        m->SetField(r, 1, u"x");
    }
    m->SetSelectedRecord(1);
    m->SetTRParam("c");
    EXPECT_EQ(Body(multi, "#TABLE(0)"),
              "<tr c><td>a</td><td>x</td></tr>\n<tr c><td colspan=2>b</td></tr>");

    TableList<TableListItem> empty;
    AddTable(empty);
    EXPECT_EQ(Body(empty, "[#TABLE(0)]"), "[]");
}

TEST(TableResult, SelectMarker) {
    TableList<TableListItem> list;
    Grid(list, 3, 2);
    EXPECT_EQ(Body(list, "#SELECT(0,0,1)"),
              "<option value='r0f0' selected>r0f1</option>\n"
              "<option value='r1f0'>r1f1</option>\n"
              "<option value='r2f0'>r2f1</option>");
}

TEST(TableResult, Utf16CellsGoOutAsUtf8) {
    TableList<TableListItem> list;
    RosterU* t = AddTable(list);
    t->CreateField(10);
    t->CreateRecord();
    t->SetField(0, 0, u"J\u00fcrgen \u20ac\U0001F600");
    EXPECT_EQ(Body(list, "\xC3\xA4#FIELD(0,0,0)"),
              "\xC3\xA4J\xC3\xBCrgen \xE2\x82\xAC\xF0\x9F\x98\x80");
    // A cell of the full width has no terminator and is cut at the width.
    t->SetField(0, 0, u"0123456789ABC");
    EXPECT_EQ(Body(list, "#FIELD(0,0,0)"), "0123456789");
}

TEST(TableResult, ZeroInTemplateEndsThePage) {
    TableList<TableListItem> list;
    Grid(list, 1, 1);
    EXPECT_EQ(Body(list, std::string("a#FIELD(0,0,0)b\0c#FIELD(0,0,0)", 31)), "ar0f0b");
}

TEST(TableResult, ResponseHeaderAndContentLength) {
    TableList<TableListItem> list;
    Grid(list, 1, 1);
    RunItem run;
    run.m_SessionID = 77;
    run.m_Cookies.m_InUse = 1;
    run.m_Cookies.m_Action = CookieState::kSetSession;
    CookieEntry session;
    session.m_Kind = CookieEntry::kSession;
    session.m_Path = "shop";
    CookieEntry named;
    named.m_Name = "theme";
    named.m_Value = "dark";
    named.m_Path = "shop";
    run.m_Cookies.m_Entries = {session, named};
    const std::string body = std::string(1230, 'x') + "#abc";  // 1234 bytes
    Vessel out;
    f_TableListToHttpResultFromText(list, &run, out, body);
    const std::string text = Text(out);
    const std::string expectHeader =
        "HTTP/1.1 200 OK\r\nServer: Quorvel/2.1\r\nConnection: close\r\nContent-Type: text/html"
        "\r\nSet-Cookie: jsessionid=77; Path=/shop/;\r\nSet-Cookie: theme=dark; Path=/shop/;"
        "\r\nContent-Length: 1234      \r\n\r\n";
    EXPECT_EQ(text.substr(0, expectHeader.size()), expectHeader);
    EXPECT_EQ(text.size(), expectHeader.size() + 1234);
    EXPECT_EQ(run.m_Cookies.m_Action, 0);

    // The studio reads such a response whole and finds the same length.
    HttpProcessor reader;
    reader.m_Message.AddContent(text.data(), static_cast<long>(text.size()) - 1);
    EXPECT_TRUE(reader.IsMoreData());
    reader.m_Message.AddContent(text.data() + text.size() - 1, 1);
    EXPECT_FALSE(reader.IsMoreData());
    EXPECT_EQ(reader.GetContentLength(), 1234);
    EXPECT_EQ(reader.GetSessionID(), 77);

    // Acted on once: the next answer sets only the named cookie; expiring works the same.
    Vessel again;
    f_TableListToHttpResultFromText(list, &run, again, "x");
    EXPECT_EQ(Text(again).find("jsessionid"), std::string::npos);
    run.m_Cookies.m_Action = CookieState::kExpireSession;
    Vessel expired;
    f_TableListToHttpResultFromText(list, &run, expired, "x");
    EXPECT_NE(Text(expired).find("\r\nSet-Cookie: jsessionid=77; Expires=Wed, 07-May-2014 "
                                 "00:00:01 GMT; Path=/shop/;\r\nSet-Cookie: theme=dark"),
              std::string::npos);
    // Cookies not in use: the session cookie is left alone, named cookies still go out.
    run.m_Cookies.m_InUse = 0;
    run.m_Cookies.m_Action = CookieState::kSetSession;
    Vessel off;
    f_TableListToHttpResultFromText(list, &run, off, "x");
    EXPECT_EQ(Text(off).find("jsessionid"), std::string::npos);
    EXPECT_NE(Text(off).find("theme=dark"), std::string::npos);
    EXPECT_EQ(run.m_Cookies.m_Action, CookieState::kSetSession);
    // A session cookie's path holding CR LF adds no header line of its own.
    run.m_Cookies.m_InUse = 1;
    run.m_Cookies.m_Entries[0].m_Path = "shop/\r\nX-Injected: 1";
    Vessel injected;
    f_TableListToHttpResultFromText(list, &run, injected, "x");
    EXPECT_EQ(Text(injected).find("X-Injected"), std::string::npos) << Text(injected);
}

TEST(TableResult, TemplateFileAndMissingTemplate) {
    TempDir dir;
    ASSERT_EQ(os::MakeDirectories(os::JoinPath({dir.path, "shop"}).c_str()), 0);
    ASSERT_EQ(os::ReplaceFile(os::JoinPath({dir.path, "shop", "List.html"}).c_str(),
                              "<b>#FIELD(0,0,0)</b>"),
              0);
    TableList<TableListItem> list;
    Grid(list, 2, 2);
    Grid(list, 1, 1);
    RunItem run;
    run.m_RootFolder = dir.path;
    run.m_AppName = "shop";
    run.m_RequestName = "List";

    Vessel page;
    f_TableListToHttpResult(list, &run, page, nullptr);
    const std::string text = Text(page);
    EXPECT_EQ(text.substr(text.find("\r\n\r\n") + 4), "<b>r0f0</b>");
    EXPECT_NE(text.find("Content-Length: 11        \r\n"), std::string::npos);

    Vessel bodyOnly;
    f_TableListToHttpResult(list, &run, bodyOnly, "List");
    EXPECT_EQ(Text(bodyOnly), "<b>r0f0</b>");

    run.m_PageName = "page";
    Vessel missing;
    f_TableListToHttpResult(list, &run, missing, "");
    EXPECT_EQ(Text(missing),
              "<html><head><meta content='text/html; charset=utf-8' http-equiv=Content-Type>"
              "</head><body>\n\n<table border=1>\n<tr><td>r0f0</td><td>r0f1</td></tr>"
              "\n<tr><td>r1f0</td><td>r1f1</td></tr>\n</table><br>"
              "\n\n<table border=1>\n<tr><td>r0f0</td></tr>\n</table><br>"
              "\npage.html not found!\n</body></html>");
}

// The page name may come from the request: no name leads to a file outside the
// application's folder.
TEST(TableResult, TemplateNameCannotLeaveTheAppFolder) {
    TempDir dir;
    ASSERT_EQ(os::MakeDirectories(os::JoinPath({dir.path, "shop", "sub"}).c_str()), 0);
    ASSERT_EQ(os::ReplaceFile(os::JoinPath({dir.path, "secret.html"}).c_str(), "secret"), 0);
    ASSERT_EQ(os::ReplaceFile(os::JoinPath({dir.path, "shop", "sub", "in.html"}).c_str(), "in"), 0);
    TableList<TableListItem> list;
    RunItem run;
    run.m_RootFolder = dir.path;
    run.m_AppName = "shop";
    for (const char* name : {"../secret", "sub/../../secret", "..\\secret"}) {
        Vessel out;
        f_TableListToHttpResult(list, &run, out, name);
        EXPECT_NE(Text(out), "secret") << name;
        EXPECT_NE(Text(out).find(".html not found!"), std::string::npos) << name;
    }
    run.m_AppName = "shop/..";
    Vessel viaApp;
    f_TableListToHttpResult(list, &run, viaApp, "secret");
    EXPECT_NE(Text(viaApp), "secret");
    // A page in a folder of the application stays reachable.
    run.m_AppName = "shop";
    Vessel inside;
    f_TableListToHttpResult(list, &run, inside, "sub/in");
    EXPECT_EQ(Text(inside), "in");
}

// Unclosed and nested markers cost one pass over the template, however many there are.
TEST(TableResult, MarkerScanningIsLinear) {
    TableList<TableListItem> list;
    Grid(list, 1, 1);
    std::string unclosed;
    for (int i = 0; i < 150000; ++i) unclosed += "#FIELD(";  // about 1 MB, no ')'
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(Body(list, unclosed) == unclosed);
    // Each marker's arguments reach the one ')' at the end; only the last marker is whole.
    std::string nested;
    for (int i = 0; i < 150000; ++i) nested += "#TABLE(0,";
    EXPECT_TRUE(Body(list, nested + ")") ==
                nested.substr(0, nested.size() - 9) + "<tr><td>r0f0</td></tr>");
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
}

TEST(TableResult, PageNameIsEscapedAndCookieLinesCannotBeForged) {
    TracedDir dir;
    WStrace& trace = dir.trace;
    const std::string& traceFile = dir.traceFile;
    TableList<TableListItem> list;
    RunItem run;
    run.m_RootFolder = dir.path;
    run.m_AppName = "shop";
    run.m_Trace = &trace;
    Vessel missing;
    f_TableListToHttpResult(list, &run, missing, "<img src=x onerror='a&b'>\"");
    EXPECT_NE(
        Text(missing).find("\n&lt;img src=x onerror=&#39;a&amp;b&#39;&gt;&quot;.html not found!"),
        std::string::npos)
        << Text(missing);

    CookieEntry forged, plain;
    forged.m_Name = "theme";
    forged.m_Value = "dark\r\nSet-Cookie: admin=1";
    plain.m_Name = "lang";
    plain.m_Value = "en";
    run.m_Cookies.m_Entries = {forged, plain};
    Vessel out;
    f_TableListToHttpResultFromText(list, &run, out, "x");
    EXPECT_EQ(Text(out).find("admin"), std::string::npos);
    EXPECT_EQ(Text(out).find("theme"), std::string::npos);
    EXPECT_NE(Text(out).find("\r\nSet-Cookie: lang=en; Path=//;"), std::string::npos);
    std::string logged;
    ASSERT_EQ(os::ReadWholeFile(traceFile.c_str(), logged), 0);
    EXPECT_EQ(logged, "Cookie not set: its name, value or path holds CR or LF\r\n");
}

TEST(TableResult, ErrorPageGoesToTrace) {
    TracedDir dir;
    WStrace& trace = dir.trace;
    const std::string& traceFile = dir.traceFile;
    TableList<TableListItem> list;
    Grid(list, 1, 1);
    list.m_ErrorCode = 17;
    list.m_ErrorMsg = "ORA-00942 table missing";
    RunItem run;
    run.m_Trace = &trace;
    Vessel out;
    f_TableListToHttpResult(list, &run, out, "x");
    EXPECT_EQ(Text(out),
              "<html><body>\n<table>\n<tr><td>\nError: 17<br>Please contact technical support.\n"
              "</td></tr>\n</table>\n</body></html>");
    std::string logged;
    ASSERT_EQ(os::ReadWholeFile(traceFile.c_str(), logged), 0);
    EXPECT_EQ(logged, "ORA-00942 table missing\r\n");
    EXPECT_EQ(Text(out).find("ORA"), std::string::npos);
}

}  // namespace
