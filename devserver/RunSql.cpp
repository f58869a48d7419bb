#include "devserver/RunSql.h"

#include <sqlite3.h>

#include <sys/stat.h>

#include <map>
#include <memory>

#include "devserver/Answers.h"
#include "platform/os/System.h"
#include "roster/Roster.h"

namespace devserver {

namespace {

struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct Finalizer {
    void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};

// A script may read and write its own database, nothing else: no other database file,
// no native code, no native pointers (fts3_tokenizer hands out and takes addresses of
// tokenizer modules), no pragma beyond reading the schema (others reach the process or
// the file under every connection), and no transaction statement of its own while it
// runs: the request is one transaction, all or nothing.
struct Fence {
    bool scriptRuns = false;
};

bool ReadsSchemaOnly(const char* pragma) {
    for (const char* allowed :
         {"table_info", "table_xinfo", "table_list", "index_list", "index_info", "index_xinfo",
          "foreign_key_list", "foreign_key_check", "integrity_check", "quick_check"})
        if (pragma && sqlite3_stricmp(pragma, allowed) == 0) return true;
    return false;
}

int Authorize(void* fence, int action, const char* what, const char* name, const char*,
              const char*) {
    switch (action) {
        case SQLITE_ATTACH:
        case SQLITE_DETACH:
            return SQLITE_DENY;
        case SQLITE_FUNCTION:
            return name && (sqlite3_stricmp(name, "load_extension") == 0 ||
                            sqlite3_stricmp(name, "fts3_tokenizer") == 0)
                       ? SQLITE_DENY
                       : SQLITE_OK;
        case SQLITE_PRAGMA:
            return ReadsSchemaOnly(what) ? SQLITE_OK : SQLITE_DENY;
        case SQLITE_TRANSACTION:
            return static_cast<Fence*>(fence)->scriptRuns ? SQLITE_DENY : SQLITE_OK;
        default:
            return SQLITE_OK;
    }
}

int PastDeadline(void* deadline) {
    return os::SteadyMillis() > *static_cast<long long*>(deadline) ? 1 : 0;
}

// Each worker keeps its data sources open, a connection per database file, opened anew
// when the file was replaced (or removed) since.
struct OpenSource {
    std::unique_ptr<sqlite3, Closer> db;
    dev_t device = 0;
    ino_t inode = 0;
};
constexpr std::size_t kSourcesPerWorker = 64;

sqlite3* Source(const std::string& path, int& code, std::string& error) {
    thread_local std::map<std::string, OpenSource> sources;
    struct stat st {};
    const bool exists = ::lstat(path.c_str(), &st) == 0;
    auto it = sources.find(path);
    if (it != sources.end()) {
        if (exists && it->second.device == st.st_dev && it->second.inode == st.st_ino)
            return it->second.db.get();
        sources.erase(it);
    }
    sqlite3* raw = nullptr;
    code = sqlite3_open_v2(
        path.c_str(), &raw,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX,
        nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (code != SQLITE_OK) {
        error = raw ? sqlite3_errmsg(raw) : "cannot open the data source";
        return nullptr;
    }
    sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_TRIGGER, 1, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, nullptr);
    sqlite3_limit(raw, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_exec(raw, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
    if (::lstat(path.c_str(), &st) != 0) {
        error = "the data source's file is gone";
        return nullptr;
    }
    if (sources.size() >= kSourcesPerWorker) sources.erase(sources.begin());
    OpenSource& kept = sources[path];
    kept.db = std::move(db);
    kept.device = st.st_dev;
    kept.inode = st.st_ino;
    return raw;
}

void Fail(TableList<TableListItem>& tables, int code, std::string_view message) {
    tables.m_ErrorCode = code != 0 ? code : 1;
    tables.m_ErrorMsg = message;
}

}  // namespace

long RunSqlScript(const std::string& path, std::string_view script,
                  const std::vector<std::string>& args, const SqlLimits& limits,
                  TableList<TableListItem>& tables) {
    int opened = SQLITE_OK;
    std::string error;
    sqlite3* raw = Source(path, opened, error);
    if (!raw) {
        Fail(tables, opened, error);
        return 0;
    }
    sqlite3_busy_timeout(raw, limits.timeLimitMs);
    Fence fence;
    sqlite3_set_authorizer(raw, Authorize, &fence);
    long long deadline = os::SteadyMillis() + limits.timeLimitMs;
    sqlite3_progress_handler(raw, 1000, PastDeadline, &deadline);
    // The connection outlives this call: nothing of it may point here afterwards.
    struct Unhook {
        sqlite3* db;
        ~Unhook() {
            sqlite3_progress_handler(db, 0, nullptr, nullptr);
            sqlite3_set_authorizer(db, nullptr, nullptr);
        }
    } unhook{raw};

    if (sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail(tables, sqlite3_errcode(raw), sqlite3_errmsg(raw));
        return 0;
    }
    fence.scriptRuns = true;
    const std::string text(script);
    const char* next = text.c_str();
    long rows = 0;
    while (*next) {
        sqlite3_stmt* st = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(raw, next, -1, &st, &tail) != SQLITE_OK) {
            Fail(tables, sqlite3_errcode(raw), sqlite3_errmsg(raw));
            break;
        }
        std::unique_ptr<sqlite3_stmt, Finalizer> stmt(st);
        next = tail;
        if (!st) continue;  // blanks or a comment
        const int params = sqlite3_bind_parameter_count(st);
        if (params > static_cast<int>(args.size())) {
            Fail(tables, 1,
                 "the statement needs " + std::to_string(params) + " arguments, the call has " +
                     std::to_string(args.size()));
            break;
        }
        for (int i = 1; i <= params; ++i)
            sqlite3_bind_text(st, i, args[static_cast<std::size_t>(i - 1)].data(),
                              static_cast<int>(args[static_cast<std::size_t>(i - 1)].size()),
                              SQLITE_STATIC);  // the arguments outlive the statement
        const int columns = sqlite3_column_count(st);
        // Cells go straight into the table, each as long as its own text: one wide value
        // must not widen every row of the page.
        RosterU* t = nullptr;
        if (columns > 0) {
            t = AddTable(tables);
            bool made = t != nullptr;
            for (int c = 0; c < columns && made; ++c) made = t->CreateVariableField() == 0;
            if (!made) {
                Fail(tables, 1, "out of memory");
                break;
            }
        }
        int rc;
        long record = 0;
        bool stored = true;
        std::u16string cell;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            if (++rows > limits.maxRows) break;
            stored = t && t->CreateRecord() == 0;
            for (int c = 0; c < columns && stored; ++c) {
                const auto* v = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                const int n = sqlite3_column_bytes(st, c);
                cell = os::Utf8ToUtf16(EscapeCell(std::string_view(v ? v : "", v ? n : 0)));
                stored = t->SetField(record, c, cell.c_str()) == 0;
            }
            if (!stored) break;
            ++record;
        }
        if (rows > limits.maxRows) {
            Fail(tables, 1, "the result has more than " + std::to_string(limits.maxRows) + " rows");
            break;
        }
        if (!stored) {
            Fail(tables, 1, "out of memory");
            break;
        }
        if (rc != SQLITE_DONE) {
            Fail(tables, sqlite3_errcode(raw),
                 rc == SQLITE_INTERRUPT
                     ? "interrupted after " + std::to_string(limits.timeLimitMs) + " ms"
                     : std::string(sqlite3_errmsg(raw)));
            break;
        }
    }
    fence.scriptRuns = false;
    if (tables.m_ErrorCode != 0 ||
        sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        if (tables.m_ErrorCode == 0) Fail(tables, sqlite3_errcode(raw), sqlite3_errmsg(raw));
        sqlite3_progress_handler(raw, 0, nullptr, nullptr);
        sqlite3_exec(raw, "ROLLBACK", nullptr, nullptr, nullptr);
        return 0;
    }
    return rows;
}

}  // namespace devserver
