// The commands of quorvel-cli that are more than one catalogue command: finding text in
// an application's scripts, and comparing two servers.
#pragma once

#include <string>

#include "studio/cli/Cli.h"

class ScriptPattern;

namespace cli {

inline constexpr const char* kFindCommand = "find-in-scripts";
inline constexpr const char* kDiffCommand = "diff";

// Logged in: every line of the application's request scripts that matches, as "request
// TAB line TAB text" lines or one JSON array. 0 or an exit status.
int FindInScripts(long appID, const ScriptPattern& pattern, bool json);

// Logs in to a and to b in turn and prints in unified-diff form what differs between
// them: applications, their users and requests (with parameters, users and script), data
// sources and users. kExitOk when nothing differs, kExitDiffer when something does. In
// JSON one object: Command, Differ and Diff (the unified diff's text).
int DiffServers(const ServerTarget& a, const ServerTarget& b, const std::string& labelA,
                const std::string& labelB, bool json);

}  // namespace cli
