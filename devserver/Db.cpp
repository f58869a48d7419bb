#include "devserver/Db.h"

namespace devserver {

Statement::Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &m_Stmt, nullptr) != SQLITE_OK) {
        m_Stmt = nullptr;
        m_Failed = true;
    }
}

Statement::~Statement() {
    if (m_Stmt) sqlite3_finalize(m_Stmt);
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
    m_Begun = m_Db.Exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (m_Begun && !m_Done) m_Db.Exec("ROLLBACK");
}

bool Transaction::Commit() {
    if (!m_Begun || m_Done) return false;
    m_Done = m_Db.Exec("COMMIT");
    return m_Done;
}

}  // namespace devserver
