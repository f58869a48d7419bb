// A thin RAII layer over SQLite: one connection, prepared statements, transactions.
#pragma once

#include <sqlite3.h>

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace devserver {

class Db;

// A statement of the server's own tables, borrowed from its connection's cache and
// given back, reset, when it goes: the same text is compiled once, not per command.
class Statement {
public:
    Statement(Db& db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return m_Stmt != nullptr; }
    Statement& Bind(int index, long long value);
    Statement& Bind(int index, std::string_view text);
    Statement& BindBlob(int index, std::string_view bytes);
    // true while a row is available; false at the end or on failure (see Failed).
    bool Step();
    // Runs to completion; true on success.
    bool Run();
    bool Failed() const { return m_Failed; }
    long long Int(int column) const;
    std::string Text(int column) const;
    std::string Blob(int column) const;

private:
    Db& m_Db;
    bool m_Keep = false;  // whether it goes back to the cache
    sqlite3_stmt* m_Stmt = nullptr;
    bool m_Failed = false;
};

class Db {
public:
    Db() = default;
    ~Db();
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    // Opens (creating) the file, sets WAL, foreign keys and full sync (none when not
    // durable). 0 or -1.
    int Open(const std::string& path, std::string& error, bool durable = true);
    sqlite3* Handle() const { return m_Db; }
    bool Exec(const char* sql);
    long long LastInsertId() const;
    std::string LastError() const;

private:
    friend class Statement;
    // Compiled statements not in use, by their text. One in use is taken out, so the
    // same text run inside its own loop gets a second one.
    // The text may be the caller's temporary: only the statement's own copy is kept.
    // keep: false for a text of more than one statement (it compiles to its first only).
    sqlite3_stmt* Borrow(const char* sql, bool& keep);
    void GiveBack(sqlite3_stmt* st, bool keep);

    sqlite3* m_Db = nullptr;
    std::mutex m_CacheLock;
    std::unordered_map<std::string_view, std::vector<sqlite3_stmt*>> m_Cache;
};

// BEGIN IMMEDIATE on construction; ROLLBACK on destruction unless Commit succeeded.
class Transaction {
public:
    explicit Transaction(Db& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool Begun() const { return m_Begun; }
    bool Commit();

private:
    Db& m_Db;
    bool m_Begun = false;
    bool m_Done = false;
};

}  // namespace devserver
