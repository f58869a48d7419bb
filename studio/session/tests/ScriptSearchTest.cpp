// Finding text in scripts: line numbers and ends, fixed text against expressions, and
// the search over the listed requests against a scripted server.
#include "studio/session/ScriptSearch.h"

#include "studio/session/tests/SessionFixture.h"

using namespace session_test;
using testing_net::HttpOk;
using testing_net::Whole;

namespace {

std::vector<std::pair<long, std::string>> Lines(std::string_view script, std::string_view pattern,
                                                bool regex) {
    ScriptPattern p;
    EXPECT_EQ(p.Set(pattern, regex), "");
    std::vector<std::pair<long, std::string>> out;
    FindInScript(script, p, [&out](long n, std::string_view t) { out.emplace_back(n, t); });
    return out;
}

using Found = std::vector<std::pair<long, std::string>>;

}  // namespace

TEST(ScriptSearch, LinesAreNumberedFromOneWithoutTheirEnds) {
    // CR LF and LF ends alike; a zero byte does not end a line for either kind.
    const std::string script("select a\r\nfrom t.x\n\nwhere b\0x = 1\r\nlast", 39);
    EXPECT_EQ(Lines(script, "t.x", false), (Found{{2, "from t.x"}}));
    EXPECT_EQ(Lines(script, "x = 1", true), (Found{{4, std::string("where b\0x = 1", 13)}}));
    // "." is any character only in an expression.
    EXPECT_EQ(Lines(script, "t.x", true), (Found{{2, "from t.x"}}));
    EXPECT_EQ(Lines(script, "a.", false), (Found{}));
    EXPECT_EQ(Lines(script, "^(select|last)$", true), (Found{{5, "last"}}));
    EXPECT_EQ(Lines(script, "", false).size(), 5u) << "the empty text is in every line";
    ScriptPattern bad;
    EXPECT_NE(bad.Set("(open", true), "");
    EXPECT_EQ(bad.Set("(open", false), "") << "a fixed text is never refused";
}

TEST_F(SessionTest, SearchFetchesEveryListedScriptAndStopsAtAFailure) {
    ReqItem* r = nullptr;
    for (long id : {9, 10, 11}) {
        ASSERT_EQ(ReqList.Add(&r), kListOk);
        r->m_ID = id;
        r->m_Name = "q" + std::to_string(id);
    }
    m_Server.Push(Whole(HttpOk("select 1\nfrom orders")));
    m_Server.Push(Whole(HttpOk("nothing here")));
    m_Server.Push(Whole(HttpOk("<h1>SERVER_ERROR</h1> no such request")));
    ScriptPattern p;
    p.Set("orders", false);
    std::vector<ScriptMatch> found;
    EXPECT_EQ(SearchScripts(p, found), 1);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].request, "q9");
    EXPECT_EQ(found[0].requestID, 9);
    EXPECT_EQ(found[0].line, 2);
    EXPECT_EQ(found[0].text, "from orders");
    EXPECT_EQ(CurrentReq.m_ID, 11) << "the request whose fetch failed";
    EXPECT_EQ(ReqScript.GetSize(), 0);
    ASSERT_TRUE(m_Server.WaitDone(3));
    EXPECT_NE(m_Server.Requests()[1].find("GetReqScript(10)"), std::string::npos);
}
