#include "studio/cli/Commands.h"

#include <algorithm>
#include <map>
#include <vector>

#include "studio/cli/UnifiedDiff.h"
#include "studio/session/ScriptSearch.h"
#include "studio/session/ServerSession.h"

namespace cli {

namespace {

// Fetches a list: the exchange, then the answer parsed into the emptied list.
template <class List>
int Fetch(int code, List& list) {
    if (int rc = Exchange(code, true); rc != 0) return rc;
    list.Clear();
    Session.ParseResponse(code);
    return kExitOk;
}

// Calls fn with every record of a list, in order.
template <class Item, class List, class Fn>
void Each(List& list, Fn fn) {
    for (long i = 0; i < list.Count(); ++i) {
        Item* item = nullptr;
        if (list.GetAt(i, &item) == kListOk) fn(*item);
    }
}

// One object of a server as the lines that describe it; sorted by key, so the two
// servers' dumps line up whatever order each lists its objects in.
struct Section {
    std::string key;
    std::vector<std::string> lines;
};

std::string Escaped(std::string_view text) {
    std::string out;
    TabField(out, text);
    return out;
}

// "  Key: value" without a blank at the end of an empty one.
std::string Field(const char* key, std::string_view value) {
    std::string line = std::string("  ") + key + ":";
    if (!value.empty()) line += " " + Escaped(value);
    return line;
}

std::string NamesOf(UserListType& users) {
    std::vector<std::string> names;
    Each<UserItem>(users, [&names](UserItem& u) { names.push_back(u.m_Name.str()); });
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
}

const char* LanguageName(long language) {
    return language == 1 ? "SQL" : language == 2 ? "JAVA" : "?";
}
const char* AccessName(long access) {
    return access == 0 ? "Public" : access == 1 ? "Private" : "?";
}

// A request's section; the request's parameters, users and script are in their lists.
Section RequestSection(const AppItem& a, const ReqItem& r) {
    DSItem* ds = nullptr;
    const std::string dsName =
        DSList.FindByID(r.m_DSID, &ds) == kListOk && ds ? ds->m_Name.str() : "";
    std::string params;
    Each<ParamListItem>(CurrentReq.ReqParamList, [&params](ParamListItem& p) {
        params += (params.empty() ? "" : ", ") + p.m_Name.str();
    });
    Section s{"3 " + a.m_Name.str() + '\0' + r.m_Name.str(),
              {"request " + Escaped(a.m_Name.view()) + "/" + Escaped(r.m_Name.view()),
               Field("DataSource", dsName), Field("Language", LanguageName(r.m_Language)),
               Field("Access", AccessName(r.m_Access)), Field("Parameters", params),
               Field("Users", NamesOf(CurrentReq.ReqUserList)), "  Script:"}};
    const char* text = ReqScript.GetContent();
    const std::string_view script(text ? text : "", static_cast<std::size_t>(ReqScript.GetSize()));
    for (std::size_t at = 0; at < script.size();) {
        std::size_t end = script.find('\n', at);
        if (end == std::string_view::npos) end = script.size();
        s.lines.push_back("  | " + std::string(script.substr(at, end - at)));
        at = end + 1;
    }
    return s;
}

// Everything the comparison looks at, fetched from the server the session is logged in
// to. Ids differ between servers, so objects are named, never numbered.
int Dump(std::vector<Section>& sections) {
    if (int rc = Fetch(kCmdGetDSs, DSList); rc != 0) return rc;
    Each<DSItem>(DSList, [&sections](DSItem& d) {
        sections.push_back(
            {"1 " + d.m_Name.str(),
             {"data source " + Escaped(d.m_Name.view()),
              Field("Description", d.m_Description.view()), Field("UserName", d.m_UserName.view()),
              "  Connections: " + std::to_string(d.m_Connections)}});
    });
    if (int rc = Fetch(kCmdGetUsers, UserList); rc != 0) return rc;
    Each<UserItem>(UserList, [&sections](UserItem& u) {
        sections.push_back(
            {"2 " + u.m_Name.str(),
             {"user " + Escaped(u.m_Name.view()), Field("Description", u.m_Description.view()),
              std::string("  Type: ") + (u.m_Type == 1 ? "Run" : "Dev")}});
    });
    if (int rc = Fetch(kCmdGetApps, AppList); rc != 0) return rc;
    for (long i = 0; i < AppList.Count(); ++i) {
        AppItem* a = nullptr;
        if (AppList.GetAt(i, &a) != kListOk) continue;
        CurrentApp.m_ID = a->m_ID;
        if (int rc = Fetch(kCmdGetAppUsers, CurrentApp.AppUserList); rc != 0) return rc;
        sections.push_back({"3 " + a->m_Name.str(),
                            {"application " + Escaped(a->m_Name.view()),
                             Field("Description", a->m_Description.view()),
                             "  SessionTimeout: " + std::to_string(a->m_SessionTimeout),
                             Field("Users", NamesOf(CurrentApp.AppUserList))}});
        if (int rc = Fetch(kCmdGetReqs, ReqList); rc != 0) return rc;
        for (long k = 0; k < ReqList.Count(); ++k) {
            ReqItem* r = nullptr;
            if (ReqList.GetAt(k, &r) != kListOk) continue;
            CurrentReq.m_ID = r->m_ID;
            if (int rc = Fetch(kCmdGetReqParams, CurrentReq.ReqParamList); rc != 0) return rc;
            if (int rc = Fetch(kCmdGetReqUsers, CurrentReq.ReqUserList); rc != 0) return rc;
            if (int rc = Exchange(kCmdGetReqScript, true); rc != 0) return rc;
            if (Session.ParseResponse(kCmdGetReqScript) != 0)
                return Reported(kCmdGetReqScript, -1, true);
            sections.push_back(RequestSection(*a, *r));
            ReqScript.Free();
        }
    }
    std::stable_sort(sections.begin(), sections.end(),
                     [](const Section& x, const Section& y) { return x.key < y.key; });
    return kExitOk;
}

int DumpServer(const ServerTarget& target, std::vector<Section>& sections) {
    Aim(target);
    if (int rc = LogIn(); rc != 0) return rc;
    const int status = Dump(sections);
    LogOut();
    return status;
}

}  // namespace

int FindInScripts(long appID, const ScriptPattern& pattern, bool json) {
    CurrentApp.m_ID = appID;
    if (int rc = Fetch(kCmdGetReqs, ReqList); rc != 0) return rc;
    std::vector<ScriptMatch> matches;
    if (const int rc = SearchScripts(pattern, matches); rc != 0) {
        // What the fetch of the failed script said, as any other exchange's failure.
        const int status = Reported(kCmdGetReqScript, rc, true);
        std::fprintf(stderr, "quorvel-cli: the search stopped at request %s (%ld)\n",
                     CurrentReq.m_Name.c_str(), CurrentReq.m_ID);
        return status;
    }
    std::string out = json ? "[" : "";
    for (const ScriptMatch& m : matches) {
        if (json) {
            if (out.size() > 1) out += ',';
            out += "{\"Request\":";
            JsonString(out, m.request);
            out += ",\"ID\":" + std::to_string(m.requestID) +
                   ",\"Line\":" + std::to_string(m.line) + ",\"Text\":";
            JsonString(out, m.text);
            out += '}';
        } else {
            TabField(out, m.request);
            out += '\t' + std::to_string(m.line) + '\t';
            TabField(out, m.text);
            out += '\n';
        }
    }
    if (json) out += "]\n";
    Out(out);
    return kExitOk;
}

int DiffServers(const ServerTarget& a, const ServerTarget& b, const std::string& labelA,
                const std::string& labelB, bool json) {
    std::vector<Section> first, second;
    if (int rc = DumpServer(a, first); rc != 0) return rc;
    if (int rc = DumpServer(b, second); rc != 0) return rc;
    // Objects on one side only are removed or added whole; those on both are compared
    // line by line.
    std::vector<DiffLine> script;
    std::size_t i = 0, j = 0;
    while (i < first.size() || j < second.size()) {
        if (j >= second.size() || (i < first.size() && first[i].key < second[j].key)) {
            for (const std::string& l : first[i++].lines) script.push_back({'-', l});
        } else if (i >= first.size() || second[j].key < first[i].key) {
            for (const std::string& l : second[j++].lines) script.push_back({'+', l});
        } else {
            DiffLines(first[i++].lines, second[j++].lines, script);
        }
    }
    const std::string hunks = UnifiedHunks(script);
    const std::string text =
        hunks.empty() ? "" : "--- " + labelA + "\n+++ " + labelB + "\n" + hunks;
    if (json) {
        std::string doc = "{\"Command\":\"diff\",\"Differ\":";
        doc += hunks.empty() ? "false" : "true";
        doc += ",\"Diff\":";
        JsonString(doc, text);
        Out(doc + "}\n");
    } else {
        Out(text);
    }
    return hunks.empty() ? kExitOk : kExitDiffer;
}

}  // namespace cli
