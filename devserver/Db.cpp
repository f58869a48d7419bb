#include "devserver/Db.h"

namespace devserver {

namespace {
// Texts are the program's own, so the cache stays small; past this, statements are
// compiled and dropped as they come.
constexpr std::size_t kCachedTexts = 256;
}  // namespace

Statement::Statement(Db& db, const char* sql) : m_Db(db) {
    m_Stmt = db.Borrow(sql, m_Keep);
    m_Failed = m_Stmt == nullptr;
}

Statement::~Statement() {
    if (m_Stmt) m_Db.GiveBack(m_Stmt, m_Keep);
}

sqlite3_stmt* Db::Borrow(const char* sql, bool& keep) {
    keep = true;
    {
        std::lock_guard<std::mutex> g(m_CacheLock);
        auto it = m_Cache.find(sql);
        if (it != m_Cache.end() && !it->second.empty()) {
            sqlite3_stmt* st = it->second.back();
            it->second.pop_back();
            return st;
        }
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v3(m_Db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return nullptr;
    }
    keep = st && std::string_view(sqlite3_sql(st)) == sql;
    return st;
}

void Db::GiveBack(sqlite3_stmt* st, bool keep) {
    // Reset ends the statement's read, so no transaction stays open behind it.
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    std::lock_guard<std::mutex> g(m_CacheLock);
    // The key views the statement's own copy of its text, which lives as long as it.
    const std::string_view text(sqlite3_sql(st));
    auto it = m_Cache.find(text);
    if (it == m_Cache.end()) {
        if (!keep || m_Cache.size() >= kCachedTexts) {
            sqlite3_finalize(st);
            return;
        }
        it = m_Cache.emplace(text, std::vector<sqlite3_stmt*>()).first;
    }
    if (!keep) {
        sqlite3_finalize(st);
        return;
    }
    it->second.push_back(st);
}

Statement& Statement::Bind(int index, long long value) {
    if (m_Stmt && sqlite3_bind_int64(m_Stmt, index, value) != SQLITE_OK) m_Failed = true;
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    if (m_Stmt && sqlite3_bind_text(m_Stmt, index, text.data(), static_cast<int>(text.size()),
                                    SQLITE_TRANSIENT) != SQLITE_OK)
        m_Failed = true;
    return *this;
}

Statement& Statement::BindBlob(int index, std::string_view bytes) {
    // A zero-length blob still has to be a blob, not NULL.
    static const char kEmpty = 0;
    if (m_Stmt && sqlite3_bind_blob(m_Stmt, index, bytes.empty() ? &kEmpty : bytes.data(),
                                    static_cast<int>(bytes.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        m_Failed = true;
    return *this;
}

bool Statement::Step() {
    if (!m_Stmt || m_Failed) return false;
    int rc = sqlite3_step(m_Stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) m_Failed = true;
    return false;
}

bool Statement::Run() {
    while (Step()) {
    }
    return !m_Failed;
}

long long Statement::Int(int column) const {
    return sqlite3_column_int64(m_Stmt, column);
}

std::string Statement::Text(int column) const {
    const unsigned char* t = sqlite3_column_text(m_Stmt, column);
    int n = sqlite3_column_bytes(m_Stmt, column);
    return t ? std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(n))
             : std::string();
}

std::string Statement::Blob(int column) const {
    const void* b = sqlite3_column_blob(m_Stmt, column);
    int n = sqlite3_column_bytes(m_Stmt, column);
    return b ? std::string(static_cast<const char*>(b), static_cast<std::size_t>(n))
             : std::string();
}

Db::~Db() {
    for (auto& [sql, free] : m_Cache)
        for (sqlite3_stmt* st : free) sqlite3_finalize(st);
    if (m_Db) sqlite3_close_v2(m_Db);
}

int Db::Open(const std::string& path, std::string& error, bool durable) {
    if (sqlite3_open_v2(path.c_str(), &m_Db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        error = m_Db ? sqlite3_errmsg(m_Db) : "cannot open the database";
        return -1;
    }
    sqlite3_busy_timeout(m_Db, 5000);
    if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA foreign_keys=ON") ||
        !Exec(durable ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=OFF")) {
        error = LastError();
        return -1;
    }
    return 0;
}

bool Db::Exec(const char* sql) {
    return sqlite3_exec(m_Db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

long long Db::LastInsertId() const {
    return sqlite3_last_insert_rowid(m_Db);
}

std::string Db::LastError() const {
    return m_Db ? sqlite3_errmsg(m_Db) : "no database";
}

Transaction::Transaction(Db& db) : m_Db(db) {
    m_Begun = Statement(m_Db, "BEGIN IMMEDIATE").Run();
}

Transaction::~Transaction() {
    if (m_Begun && !m_Done) Statement(m_Db, "ROLLBACK").Run();
}

bool Transaction::Commit() {
    if (!m_Begun || m_Done) return false;
    m_Done = Statement(m_Db, "COMMIT").Run();
    return m_Done;
}

}  // namespace devserver
