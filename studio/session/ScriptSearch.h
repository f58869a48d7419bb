// Finding text in the scripts of an application's requests, line by line: what an
// administrator looks for before changing a table or moving an application. The studio
// and quorvel-cli share it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A fixed string, or a POSIX extended regular expression (as grep -E reads it).
class ScriptPattern {
public:
    ScriptPattern();
    ~ScriptPattern();
    ScriptPattern(const ScriptPattern&) = delete;
    ScriptPattern& operator=(const ScriptPattern&) = delete;

    // "" when the pattern can be used, else why not (an expression that does not compile).
    std::string Set(std::string_view pattern, bool regex);
    bool Matches(std::string_view line) const;

private:
    struct Compiled;
    std::string m_Text;
    std::unique_ptr<Compiled> m_Regex;
};

struct ScriptMatch {
    std::string request;  // the request's name
    long requestID = 0;
    long line = 0;  // from 1
    std::string text;
};

// Calls found with every line of script that matches, numbered from 1. A line ends at
// LF; a CR before it is no part of it.
void FindInScript(std::string_view script, const ScriptPattern& pattern,
                  const std::function<void(long line, std::string_view text)>& found);

// Fetches the script of every request in ReqList (GetReqScript into ReqScript, which it
// leaves empty) and appends the matching lines to matches, in list order. 0, or the
// result of the first fetch that failed (Execute's, or -1 for an answer that did not
// arrive whole); the search stops there, with CurrentReq naming that request.
int SearchScripts(const ScriptPattern& pattern, std::vector<ScriptMatch>& matches);
