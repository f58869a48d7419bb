#include "studio/session/ScriptSearch.h"

#include <regex.h>

#include "studio/session/ServerSession.h"

// The system's POSIX matcher: an expression works as grep -E reads it, and a long line
// costs no stack (std::regex recurses per character).
struct ScriptPattern::Compiled {
    regex_t re{};
    bool made = false;  // a failed regcomp leaves nothing to free
    ~Compiled() {
        if (made) regfree(&re);
    }
};

ScriptPattern::ScriptPattern() = default;
ScriptPattern::~ScriptPattern() = default;

std::string ScriptPattern::Set(std::string_view pattern, bool regex) {
    m_Regex.reset();
    m_Text = pattern;
    if (!regex) return "";
    auto compiled = std::make_unique<Compiled>();
    const int rc = regcomp(&compiled->re, m_Text.c_str(), REG_EXTENDED | REG_NOSUB);
    if (rc != 0) {
        char why[256];
        regerror(rc, &compiled->re, why, sizeof why);
        return why;
    }
    compiled->made = true;
    m_Regex = std::move(compiled);
    return "";
}

bool ScriptPattern::Matches(std::string_view line) const {
    if (!m_Regex) return line.find(m_Text) != std::string_view::npos;
    // REG_STARTEND: the line is bounded by the match range, so it may hold zero bytes and
    // needs no copy.
    regmatch_t range{0, static_cast<regoff_t>(line.size())};
    return regexec(&m_Regex->re, line.data() ? line.data() : "", 1, &range, REG_STARTEND) == 0;
}

void FindInScript(std::string_view script, const ScriptPattern& pattern,
                  const std::function<void(long line, std::string_view text)>& found) {
    long number = 0;
    for (std::size_t at = 0; at < script.size();) {
        std::size_t end = script.find('\n', at);
        const std::size_t next = end == std::string_view::npos ? script.size() : end + 1;
        if (end == std::string_view::npos) end = script.size();
        std::string_view line = script.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++number;
        if (pattern.Matches(line)) found(number, line);
        at = next;
    }
}

int SearchScripts(const ScriptPattern& pattern, std::vector<ScriptMatch>& matches) {
    int result = 0;
    for (long i = 0; i < ReqList.Count() && result == 0; ++i) {
        ReqItem* r = nullptr;
        if (ReqList.GetAt(i, &r) != kListOk) continue;
        const std::string name = r->m_Name.str();
        const long id = r->m_ID;
        CurrentReq.m_Name = name;
        CurrentReq.m_ID = id;
        result = Session.Execute(kCmdGetReqScript);
        if (result == 0 && Session.ParseResponse(kCmdGetReqScript) != 0) result = -1;
        if (result != 0) break;
        const char* text = ReqScript.GetContent();
        const std::string_view script =
            text ? std::string_view(text, static_cast<std::size_t>(ReqScript.GetSize()))
                 : std::string_view();
        FindInScript(script, pattern, [&](long line, std::string_view found) {
            matches.push_back(ScriptMatch{name, id, line, std::string(found)});
        });
    }
    ReqScript.Free();
    return result;
}
