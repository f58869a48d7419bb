#include "devserver/RunSql.h"

#include <sqlite3.h>

#include <sys/stat.h>

#include <climits>
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
    long long deadline = 0;  // SteadyMillis
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

int PastDeadline(void* fence) {
    return os::SteadyMillis() > static_cast<Fence*>(fence)->deadline ? 1 : 0;
}

// A script's statements, compiled once and kept with its connection.
struct Compiled {
    std::vector<std::unique_ptr<sqlite3_stmt, Finalizer>> statements;
};
constexpr std::size_t kScriptsPerSource = 64;

// Each worker keeps its data sources open, a connection per database file, opened anew
// when the file was replaced (or removed) since. The hooks are set once and read the
// fence, which lives as long as the connection: setting an authorizer again would
// throw away every compiled statement.
struct OpenSource {
    std::unique_ptr<sqlite3, Closer> db;  // declared first: closed after its statements
    std::unique_ptr<Fence> fence = std::make_unique<Fence>();
    std::unique_ptr<sqlite3_stmt, Finalizer> begin, commit, rollback;
    std::map<std::string, Compiled, std::less<>> scripts;
    dev_t device = 0;
    ino_t inode = 0;
};
constexpr std::size_t kSourcesPerWorker = 64;

sqlite3_stmt* Compile(sqlite3* db, const char* sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return nullptr;
    }
    return st;
}

OpenSource* Source(const std::string& path, int& code, std::string& error) {
    thread_local std::map<std::string, OpenSource> sources;
    struct stat st {};
    const bool exists = ::lstat(path.c_str(), &st) == 0;
    auto it = sources.find(path);
    if (it != sources.end()) {
        if (exists && it->second.device == st.st_dev && it->second.inode == st.st_ino)
            return &it->second;
        sources.erase(it);
    }
    sqlite3* raw = nullptr;
    code = sqlite3_open_v2(
        path.c_str(), &raw,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX,
        nullptr);
    OpenSource made;
    made.db.reset(raw);
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
    sqlite3_set_authorizer(raw, Authorize, made.fence.get());
    sqlite3_progress_handler(raw, 1000, PastDeadline, made.fence.get());
    made.begin.reset(Compile(raw, "BEGIN"));
    made.commit.reset(Compile(raw, "COMMIT"));
    made.rollback.reset(Compile(raw, "ROLLBACK"));
    if (!made.begin || !made.commit || !made.rollback) {
        code = sqlite3_errcode(raw);
        error = sqlite3_errmsg(raw);
        return nullptr;
    }
    if (::lstat(path.c_str(), &st) != 0) {
        error = "the data source's file is gone";
        return nullptr;
    }
    if (sources.size() >= kSourcesPerWorker) sources.erase(sources.begin());
    OpenSource& kept = sources[path];
    kept = std::move(made);
    kept.device = st.st_dev;
    kept.inode = st.st_ino;
    return &kept;
}

// Runs a statement with no result to its end: its code, and what went wrong.
int RunOnce(sqlite3_stmt* st, std::string* why = nullptr) {
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE && why) *why = sqlite3_errmsg(sqlite3_db_handle(st));
    sqlite3_reset(st);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
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
    OpenSource* source = Source(path, opened, error);
    if (!source) {
        Fail(tables, opened, error);
        return 0;
    }
    sqlite3* raw = source->db.get();
    Fence& fence = *source->fence;
    sqlite3_busy_timeout(raw, limits.timeLimitMs);
    fence.scriptRuns = false;
    fence.deadline = os::SteadyMillis() + limits.timeLimitMs;

    if (const int rc = RunOnce(source->begin.get(), &error); rc != SQLITE_OK) {
        Fail(tables, rc, error);
        return 0;
    }
    fence.scriptRuns = true;
    // The script's statements as compiled the last time it ran; compiled one by one
    // otherwise (a statement may need what the one before it created) and kept once all
    // of them compiled.
    auto known = source->scripts.find(script);
    Compiled fresh;
    const std::string text(known == source->scripts.end() ? script : std::string_view());
    const char* next = text.c_str();
    std::size_t index = 0;
    long rows = 0;
    std::string escaped;
    std::u16string cell;
    for (;; ++index) {
        sqlite3_stmt* st = nullptr;
        if (known != source->scripts.end()) {
            if (index >= known->second.statements.size()) break;
            st = known->second.statements[index].get();
        } else {
            if (!*next) break;
            const char* tail = nullptr;
            if (sqlite3_prepare_v3(raw, next, -1, SQLITE_PREPARE_PERSISTENT, &st, &tail) !=
                SQLITE_OK) {
                Fail(tables, sqlite3_errcode(raw), sqlite3_errmsg(raw));
                break;
            }
            next = tail;
            if (!st) continue;  // blanks or a comment
            fresh.statements.emplace_back(st);
        }
        // Whatever happens below, the statement is left reset and unbound for the next run.
        struct Rewind {
            sqlite3_stmt* st;
            ~Rewind() {
                sqlite3_reset(st);
                sqlite3_clear_bindings(st);
            }
        } rewind{st};
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
                              SQLITE_STATIC);  // the arguments outlive the run
        // The first step comes before the columns are counted: a kept statement is
        // compiled anew there when the schema changed, and may have more columns since.
        int rc = sqlite3_step(st);
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
        long record = 0;
        bool stored = true;
        for (; rc == SQLITE_ROW; rc = sqlite3_step(st)) {
            if (++rows > limits.maxRows) break;
            stored = t && t->CreateRecord() == 0;
            for (int c = 0; c < columns && stored; ++c) {
                const auto* v = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                const int n = sqlite3_column_bytes(st, c);
                EscapeCell(std::string_view(v ? v : "", v ? static_cast<std::size_t>(n) : 0),
                           escaped);
                cell.resize(escaped.size() + 1);
                cell.resize(os::Utf8ToUtf16(escaped, cell.data()));
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
    if (known == source->scripts.end() && !*next && tables.m_ErrorCode == 0) {
        if (source->scripts.size() >= kScriptsPerSource) source->scripts.clear();
        source->scripts.emplace(std::string(script), std::move(fresh));
    }
    int committed = SQLITE_OK;
    if (tables.m_ErrorCode != 0 ||
        (committed = RunOnce(source->commit.get(), &error)) != SQLITE_OK) {
        if (tables.m_ErrorCode == 0) Fail(tables, committed, error);
        // The rollback runs whatever the time: the deadline may be what ended the script.
        fence.deadline = LLONG_MAX;
        RunOnce(source->rollback.get());
        return 0;
    }
    return rows;
}

}  // namespace devserver
