// Running an application's SQL request on its data source, a SQLite database file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "webproc/TableResult.h"

namespace devserver {

struct SqlLimits {
    int timeLimitMs = 5000;  // the whole script; past it the statement under way is interrupted
    long maxRows = 10000;    // all tables together; one more row fails the request
};

// Runs every statement of script, in one transaction, on the database at path (created
// when missing, never through a link). Parameter i of each statement (? or ?i) is bound
// to args[i - 1] as text. Each statement that has result columns adds one table to
// tables, its cells HTML-escaped. A failure rolls everything back and sets the list's
// error code (SQLite's, or 1) and message. Returns the number of rows.
long RunSqlScript(const std::string& path, std::string_view script,
                  const std::vector<std::string>& args, const SqlLimits& limits,
                  TableList<TableListItem>& tables);

}  // namespace devserver
