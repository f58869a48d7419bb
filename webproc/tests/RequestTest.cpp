#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "webproc/HttpProcessor.h"

struct HttpProcessorPeer {
    static int Decode(HttpProcessor& p, const char* text, Vessel& out) {
        return p.GetDecodedParamValue(text, out);
    }
    static int FormType(HttpProcessor& p) { return p.GetFormType(); }
};

namespace {

void Set(HttpProcessor& p, const std::string& text) {
    p.m_Message.Alloc(100, 1000);
    p.m_Message.AddContent(text.data(), static_cast<long>(text.size()));
    p.GetHttpType();
}

std::string Value(const ParamListItem& item) {
    return std::string(item.m_Value.GetContent(), static_cast<size_t>(item.m_Value.GetSize()));
}
std::u16string ValueU(const ParamListItem& item) {
    return std::u16string(item.m_ValueU.GetContent(), static_cast<size_t>(item.m_ValueU.GetSize()));
}
ParamListItem& At(ParamList<ParamListItem>& list, long i) {
    ParamListItem* item = nullptr;
    list.GetAt(i, &item);
    return *item;
}

std::string Post(const std::string& path, const std::string& type, const std::string& body) {
    return "POST " + path + " HTTP/1.1\r\nHost: h\r\nUser-Agent: t\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
std::string Dev(const std::string& body) {
    return "DEV / HTTP/1.1\r\nCookie: jsessionid=5\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(HttpRequest, Kinds) {
    const std::pair<std::string, int> cases[] = {
        {"GET /shop/list.html HTTP/1.1\r\n\r\n", 1},
        {"GET /shop/List(1,2) HTTP/1.1\r\n\r\n", 2},
        {"GET /shop/List%281%29 HTTP/1.1\r\n\r\n", 2},
        {"GET /shop/x HTTP/1.1\r\nReferer: /a(b)\r\n\r\n", 1},  // only the request line counts
        {Post("/a", "application/x-www-form-urlencoded", "server_request=X()"), 3},
        {Post("/a/X(q)", "application/x-www-form-urlencoded", "q=1"), 3},
        {Post("/a/x.html", "application/x-www-form-urlencoded", "q=1"), 0},
        {Post("/a", "text/plain", "server_request=X()"), 0},
        {Dev("server_request=GetApps()\r\n\r\n"), 4},
        {Dev("server_request=server_login(u,p)\r\n\r\n"), 5},
        {Dev("server_request=server_logout()\r\n\r\n"), 6},
        {"HTTP/1.1 200 OK\r\n\r\n", 0},
        {"OPTIONS * HTTP/1.1\r\n\r\n", 0},
    };
    for (const auto& [text, kind] : cases) {
        HttpProcessor p;
        Set(p, text);
        EXPECT_EQ(p.GetReqType(), kind) << text;
        EXPECT_EQ(p.m_ReqType, kind) << text;
    }
}

TEST(HttpRequest, GetCallInPath) {
    HttpProcessor p;
    Set(p, "GET /shop/Find(a%2Cb,%C3%A9,x+y) HTTP/1.1\r\n\r\n");
    ASSERT_EQ(p.GetReqType(), 2);
    ASSERT_NE(p.m_PathName, nullptr);
    EXPECT_EQ(std::string(p.m_PathName, 4), "Find");
    char name[51];
    ParamList<ParamListItem> list;
    ASSERT_EQ(p.GetRequestNameAndParams(name, list), 0);
    EXPECT_STREQ(name, "Find");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(Value(At(list, 0)), "a");
    EXPECT_EQ(Value(At(list, 1)), "b");
    EXPECT_EQ(Value(At(list, 2)), "%C3%A9");  // other % sequences stay
    EXPECT_EQ(Value(At(list, 3)), "xy");      // '+' and blanks are dropped
    EXPECT_EQ(At(list, 3).m_Number, 3);
    EXPECT_EQ(ValueU(At(list, 0)), u"a");
}

TEST(HttpRequest, FormPostWithCallInPath) {
    HttpProcessor p;
    Set(p, Post("/app/Calc%28a%2Cb%29", "application/x-www-form-urlencoded", "a=1&b=2"));
    ASSERT_EQ(p.GetReqType(), 3);
    EXPECT_FALSE(p.m_RequestInBody);
    char name[51];
    ParamList<ParamListItem> list;
    ASSERT_EQ(p.GetRequestNameAndParams(name, list), 0);
    EXPECT_STREQ(name, "Calc");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(ValueU(At(list, 0)), u"a");  // the path form does not look up fields
    EXPECT_EQ(ValueU(At(list, 1)), u"b");
}

TEST(HttpRequest, UrlEncodedFieldsAreLookedUp) {
    HttpProcessor p;
    Set(p, Post("/app", "application/x-www-form-urlencoded",
                "server_request=Calc(x,y,z,)&max=9&x=3&y=%C3%A9+%27&x=5"));
    ASSERT_EQ(p.GetReqType(), 3);
    EXPECT_TRUE(p.m_RequestInBody);
    char name[51];
    ParamList<ParamListItem> list;
    ASSERT_EQ(p.GetRequestNameAndParams(name, list), 0);
    EXPECT_STREQ(name, "Calc");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(ValueU(At(list, 0)), u"3,5");  // "max=" is not the field x
    EXPECT_EQ(ValueU(At(list, 1)), u"%C3%A9 '");
    EXPECT_EQ(ValueU(At(list, 2)), u"z");  // no such field: the name itself
    EXPECT_EQ(ValueU(At(list, 3)), u"");
}

// Many arguments and fields: each argument finds its values without searching the whole
// message (a 24 KB post took 0.6 s); names with '?' or '&' still match as they always did.
TEST(HttpRequest, LargeFormsAreLookedUpInLinearTime) {
    std::string call = "server_request=Big(", fields, want;
    for (int i = 0; i < 40000; ++i) {
        call += (i ? ",f" : "f") + std::to_string(i);
        fields += "&f" + std::to_string(i) + "=" + std::to_string(i * 7);
    }
    HttpProcessor p;
    Set(p, Post("/app", "application/x-www-form-urlencoded",
                call + ",a?b,f7)&a?b=odd" + fields + "&f7=again"));
    ASSERT_EQ(p.GetReqType(), 3);
    char name[51];
    ParamList<ParamListItem> list;
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(p.GetRequestNameAndParams(name, list), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
    ASSERT_EQ(list.Count(), 40002);
    EXPECT_EQ(ValueU(At(list, 0)), u"0");
    EXPECT_EQ(ValueU(At(list, 39999)), u"279993");
    EXPECT_EQ(ValueU(At(list, 40000)), u"odd");
    EXPECT_EQ(ValueU(At(list, 40001)), u"49,again");
    EXPECT_EQ(ValueU(At(list, 7)), u"49,again");

    // One large field named by every argument is refused, not copied into each.
    std::string many = "server_request=Big(x";
    for (int i = 0; i < 2000; ++i) many += ",x";
    HttpProcessor square;
    Set(square,
        Post("/app", "application/x-www-form-urlencoded", many + ")&x=" + std::string(60000, 'v')));
    ASSERT_EQ(square.GetReqType(), 3);
    ParamList<ParamListItem> repeated;
    EXPECT_EQ(square.GetRequestNameAndParams(name, repeated), -1);
    EXPECT_EQ(repeated.m_ErrorCode, HttpProcessor::kSyntaxError);
    // So is a call of more arguments than any request has.
    std::string countless = "server_request=Big(a";
    for (long i = 0; i < HttpProcessor::kMaxArguments; ++i) countless += ",a";
    HttpProcessor tooMany;
    Set(tooMany, Post("/app", "application/x-www-form-urlencoded", countless + ")&a=1"));
    ASSERT_EQ(tooMany.GetReqType(), 3);
    ParamList<ParamListItem> none;
    EXPECT_EQ(tooMany.GetRequestNameAndParams(name, none), -1);
    EXPECT_EQ(none.m_ErrorMsg.str(), "Too many arguments!");
}

TEST(HttpRequest, MultipartFieldsAreLookedUp) {
    const std::string body =
        "--XyZ\r\nContent-Disposition: form-data; name=\"server_request\"\r\n\r\nSave(who,n)\r\n"
        "--XyZ\r\nContent-Disposition: form-data; name=\"who\"\r\n\r\nJ\xC3\xBCrgen\r\nline 2\r\n"
        "--XyZ--\r\n";
    HttpProcessor p;
    Set(p, Post("/app", "multipart/form-data; boundary=XyZ", body));
    ASSERT_EQ(p.GetReqType(), 3);
    EXPECT_EQ(std::string(p.m_Boundary), "--XyZ");
    EXPECT_EQ(p.m_BoundaryLength, 5);
    char name[51];
    ParamList<ParamListItem> list;
    ASSERT_EQ(p.GetRequestNameAndParams(name, list), 0);
    EXPECT_STREQ(name, "Save");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(ValueU(At(list, 0)), u"J\u00fcrgen\r\nline 2");
    EXPECT_EQ(ValueU(At(list, 1)), u"n");

    // Repeated fields join in order; a value without a boundary after it runs to the end.
    const std::string repeated =
        "--XyZ\r\nContent-Disposition: form-data; name=\"server_request\"\r\n\r\nS(a,a\"b)\r\n"
        "--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n"
        "--XyZ\r\nContent-Disposition: form-data; name=\"a\"; filename=\"f\"\r\n\r\nno\r\n"
        "--XyZ\r\nContent-Disposition: form-data; name=\"a\"b\"\r\n\r\nq\r\n"
        "--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n2";
    HttpProcessor r;
    Set(r, Post("/app", "multipart/form-data; boundary=XyZ", repeated));
    ASSERT_EQ(r.GetReqType(), 3);
    ParamList<ParamListItem> joined;
    ASSERT_EQ(r.GetRequestNameAndParams(name, joined), 0);
    ASSERT_EQ(joined.Count(), 2);
    EXPECT_EQ(ValueU(At(joined, 0)), u"1,2");
    EXPECT_EQ(ValueU(At(joined, 1)), u"q");
}

TEST(HttpRequest, DevRequestsKeepBlanks) {
    HttpProcessor p;
    Set(p, Dev("server_request=Get( a b )\r\n\r\n"));
    ASSERT_EQ(p.GetReqType(), 4);
    char name[51];
    ParamList<ParamListItem> list;
    ASSERT_EQ(p.GetRequestNameAndParams(name, list), 0);
    EXPECT_STREQ(name, "Get");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(Value(At(list, 0)), " a b ");
    EXPECT_EQ(At(list, 0).m_ValueU.GetSize(), 0);  // kind 4 keeps only the 8-bit values

    HttpProcessor form;
    Set(form, Post("/a", "application/x-www-form-urlencoded", "server_request=Get( a b )"));
    ASSERT_EQ(form.GetReqType(), 3);
    ParamList<ParamListItem> list2;
    ASSERT_EQ(form.GetRequestNameAndParams(name, list2), 0);
    ASSERT_EQ(list2.Count(), 1);
    EXPECT_EQ(Value(At(list2, 0)), "ab");

    HttpProcessor login;
    Set(login, Dev("server_request=server_login(admin,s3cr\xC3\xABt)\r\n\r\n"));
    ASSERT_EQ(login.GetReqType(), 5);
    ParamList<ParamListItem> list3;
    ASSERT_EQ(login.GetRequestNameAndParams(name, list3), 0);
    EXPECT_STREQ(name, "server_login");
    ASSERT_EQ(list3.Count(), 2);
    EXPECT_EQ(ValueU(At(list3, 1)), u"s3cr\u00ebt");
}

TEST(HttpRequest, ArgumentSyntax) {
    struct Case {
        const char* call;
        int result;
        long count;
        const char* error;
    };
    const Case cases[] = {
        {"Name()", 0, 0, ""},
        {"Name(,)", 0, 2, ""},
        {"Name(a,)", 0, 2, ""},
        {"Name(,b)", 0, 2, ""},
        {"Name(a", -1, 1, "No brackets!"},
        {"Name", -1, 0, "No brackets!"},
        {"Name)", -1, 0, ""},
    };
    for (const Case& c : cases) {
        HttpProcessor p;
        Set(p, Dev(std::string("server_request=") + c.call + "\r\n\r\n"));
        p.GetReqType();
        char name[51];
        ParamList<ParamListItem> list;
        EXPECT_EQ(p.GetRequestNameAndParams(name, list), c.result) << c.call;
        EXPECT_EQ(list.Count(), c.result == 0 ? c.count : 0) << c.call;
        EXPECT_STREQ(list.m_ErrorMsg, c.error) << c.call;
        if (c.result != 0 && *c.error) {
            EXPECT_EQ(list.m_ErrorCode, 110);
        }
    }
}

TEST(HttpRequest, NameLengthLimit) {
    char name[51];
    for (int n : {50, 51}) {
        HttpProcessor p;
        Set(p, Dev("server_request=" + std::string(static_cast<size_t>(n), 'N') + "()\r\n\r\n"));
        p.GetReqType();
        ParamList<ParamListItem> list;
        EXPECT_EQ(p.GetRequestNameAndParams(name, list), n == 50 ? 0 : -1);
        EXPECT_EQ(std::string(name), std::string(50, 'N'));
        EXPECT_STREQ(list.m_ErrorMsg, n == 50 ? "" : "Request name too long!");
    }
    HttpProcessor page;
    Set(page, "GET /a/b.html HTTP/1.1\r\n\r\n");
    page.GetReqType();
    ParamList<ParamListItem> list;
    EXPECT_EQ(page.GetRequestNameAndParams(name, list), -1);
    EXPECT_EQ(page.GetRequestNameAndParams(nullptr, list), -1);
}

TEST(HttpRequest, DecodedParamValue) {
    HttpProcessor p;
    Vessel out;
    out.Alloc(10, 10);
    HttpProcessorPeer::Decode(p, "a%27b%41+c&d", out);
    EXPECT_EQ(std::string(out.GetContent(), static_cast<size_t>(out.GetSize())), "a'b%41 c");
    Vessel none;
    none.Alloc(10, 10);
    HttpProcessorPeer::Decode(p, "&x", none);
    EXPECT_EQ(none.GetSize(), 0);
    Vessel tail;
    tail.Alloc(10, 10);
    HttpProcessorPeer::Decode(p, "%7e%7E%2", tail);  // lower case stays; a cut code stays
    EXPECT_EQ(std::string(tail.GetContent(), static_cast<size_t>(tail.GetSize())), "%7e~%2");
}

TEST(HttpRequest, GetParameter) {
    HttpProcessor p;
    Set(p, Post("/a", "application/x-www-form-urlencoded", "xname=q&name=a+b%2B%2F%27&z=1"));
    p.GetReqType();
    Vessel out;
    out.Alloc(10, 10);
    p.GetParameter("name", out);
    EXPECT_EQ(std::string(out.GetContent(), static_cast<size_t>(out.GetSize())), "a+b+/%27");
    Vessel missing;
    missing.Alloc(10, 10);
    p.GetParameter("Host", missing);  // header lines are not fields
    p.GetParameter(std::string(51, 'n').c_str(), missing);
    EXPECT_EQ(missing.GetSize(), 0);

    HttpProcessor multipart;
    Set(multipart, Post("/a", "multipart/form-data; boundary=b", "name=x"));
    multipart.GetReqType();
    multipart.GetParameter("name", missing);
    EXPECT_EQ(missing.GetSize(), 0);
}

TEST(HttpRequest, AppName) {
    char name[50];
    HttpProcessor p;
    Set(p, "GET /shop/list.html HTTP/1.1\r\n\r\n");
    EXPECT_EQ(p.GetAppName(name), 0);
    EXPECT_STREQ(name, "shop");
    HttpProcessor one;
    Set(one, "GET /shop HTTP/1.1\r\nReferer: /a/b\r\n\r\n");
    EXPECT_EQ(one.GetAppName(name), -1);
    EXPECT_STREQ(name, "");
    HttpProcessor longName;
    Set(longName, "GET /" + std::string(60, 'a') + "/x HTTP/1.1\r\n\r\n");
    EXPECT_EQ(longName.GetAppName(name), 0);
    EXPECT_EQ(std::string(name), std::string(49, 'a'));
    EXPECT_EQ(p.GetAppName(nullptr), -1);
}

TEST(HttpRequest, ReusedProcessorForgetsThePath) {
    HttpProcessor p;
    Set(p, Post("/app/Calc(a)", "application/x-www-form-urlencoded", "a=1"));
    ASSERT_EQ(p.GetReqType(), 3);
    EXPECT_FALSE(p.m_RequestInBody);
    Set(p, Post("/app", "application/x-www-form-urlencoded", "server_request=Calc(a)&a=1"));
    ASSERT_EQ(p.GetReqType(), 3);
    EXPECT_TRUE(p.m_RequestInBody);
    EXPECT_EQ(p.m_PathName, nullptr);
}

}  // namespace

// The sized forms write no more than they are given, and say when they cut; the request
// kind is found without asking for the message kind first.
TEST(HttpRequest, SizedOutputsHonourTheirSizes) {
    HttpProcessor p;
    const std::string get =
        "GET /shop/Find(1) HTTP/1.1\r\nCookie: jsessionid=0123456789abcdef\r\n\r\n";
    p.m_Message.AddContent(get.data(), static_cast<long>(get.size()));
    EXPECT_EQ(p.GetReqType(), HttpProcessor::kReqGetCall);
    char small[5] = "????";
    EXPECT_EQ(p.GetAppName(small, sizeof small), 0);
    EXPECT_STREQ(small, "shop");
    char tiny[3];
    EXPECT_EQ(p.GetAppName(tiny, sizeof tiny), -1);
    EXPECT_STREQ(tiny, "sh");
    ParamList<ParamListItem> params;
    EXPECT_EQ(p.GetRequestNameAndParams(tiny, sizeof tiny, params), -1);
    EXPECT_STREQ(tiny, "Fi");
    char key[9];
    EXPECT_EQ(p.GetCookie("jsessionid", key, sizeof key), -1);
    EXPECT_STREQ(key, "01234567");
    char path[4];
    HttpProcessor post;
    Set(post, "POST /app/page.html HTTP/1.1\r\n\r\n");
    EXPECT_EQ(post.GetPathFileName(path, sizeof path), -1);
    EXPECT_STREQ(path, "/ap");
}
