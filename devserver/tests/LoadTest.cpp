// Many studios at once, and a crash in the middle of writes.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "devserver/tests/Harness.h"

using namespace dstest;
namespace fs = std::filesystem;

namespace {

std::set<std::string> Names(const std::string& answer, std::size_t column = 0) {
    std::set<std::string> n;
    for (const auto& r : TableRows(answer))
        if (r.size() > column) n.insert(r[column]);
    return n;
}

// Each client owns one application and works on it; all of them race for a few shared
// data source names. At the end every application holds exactly what its client was
// told it holds, and each shared name was granted once.
TEST(Load, ConcurrentClientsLeaveAConsistentState) {
    Server s{std::vector<std::string>{}};
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    const int clients = 16;
    const int commands = kSanitized ? 60 : 200;
    const int shared = 5;
    std::atomic<int> failures{0}, dsGranted{0};
    std::vector<std::set<std::string>> expected(clients);
    std::vector<std::string> appIds(clients);
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            int port = s.Port();
            long sid = Login(port, "admin", kAdminPassword);
            if (sid == 0) {
                ++failures;
                return;
            }
            std::string app = "client" + std::to_string(c);
            std::string a = Command(port, sid, "NewApp(" + app + ",load,10)");
            for (const auto& r : TableRows(a))
                if (r.size() > 1 && r[0] == app) appIds[c] = r[1];
            if (appIds[c].empty()) {
                ++failures;
                return;
            }
            const std::string& id = appIds[c];
            std::map<std::string, std::string> reqIds;
            for (int i = 0; i < commands; ++i) {
                std::string req = "r" + std::to_string(i);
                switch (i % 8) {
                    case 0:
                    case 1: {  // a new request
                        a = Command(port, sid, "NewReq(" + req + ",0," + id + ",1,0)");
                        if (IsError(a)) ++failures;
                        for (const auto& r : TableRows(a))
                            if (r.size() > 1 && r[0] == req) reqIds[req] = r[1];
                        expected[c].insert(req);
                        break;
                    }
                    case 2:  // its script
                        if (!reqIds.empty()) {
                            std::string body = "SELECT " + std::to_string(i);
                            if (IsError(Command(port, sid,
                                                "SetReqScript(" + reqIds.begin()->second + ")",
                                                &body)))
                                ++failures;
                        }
                        break;
                    case 3:  // a delete
                        if (reqIds.size() > 2) {
                            auto victim = reqIds.begin();
                            if (IsError(Command(port, sid, "DeleteReq(" + victim->second + ")")))
                                ++failures;
                            expected[c].erase(victim->first);
                            reqIds.erase(victim);
                        }
                        break;
                    case 4:  // a race for a shared name: one winner per name
                        a = Command(port, sid,
                                    "NewDS(shared" + std::to_string(i % shared) + ",x,1)");
                        if (!IsError(a)) ++dsGranted;
                        break;
                    case 5:
                        if (IsError(Command(port, sid, "GetApps()"))) ++failures;
                        break;
                    case 6: {
                        std::string body = "file " + std::to_string(i);
                        if (IsError(Command(
                                port, sid,
                                "UploadFile(" + id + ",3,f" + std::to_string(i % 3) + ".txt)",
                                &body)))
                            ++failures;
                        break;
                    }
                    default:
                        if (IsError(Command(port, sid, "GetReqs(" + id + ")"))) ++failures;
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(dsGranted.load(), shared);
    long sid = Login(s.Port(), "admin", kAdminPassword);
    EXPECT_EQ(Names(Command(s.Port(), sid, "GetApps()")).size(), static_cast<std::size_t>(clients));
    for (int c = 0; c < clients; ++c) {
        if (appIds[c].empty()) continue;
        EXPECT_EQ(Names(Command(s.Port(), sid, "GetReqs(" + appIds[c] + ")")), expected[c]) << c;
        EXPECT_EQ(TableRows(Command(s.Port(), sid, "GetData(" + appIds[c] + ")")).size(), 3u);
    }
    EXPECT_EQ(TableRows(Command(s.Port(), sid, "GetDSs()")).size(),
              static_cast<std::size_t>(shared + 1));
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
}

// kill -9 in the middle of a burst of writes: after a restart the database is whole,
// every acknowledged change is there, and every application has its folder.
TEST(Load, KillDuringWritesLosesNothingAcknowledged) {
    Server s{std::vector<std::string>{}};
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    std::mutex lock;
    std::set<std::string> acknowledged;
    std::map<std::string, std::string> files;  // acknowledged uploads and their content
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w) {
        writers.emplace_back([&, w] {
            long sid = Login(s.Port(), "admin", kAdminPassword);
            for (int i = 0; !stop; ++i) {
                std::string name = "k" + std::to_string(w) + "_" + std::to_string(i);
                std::string a = Command(s.Port(), sid, "NewApp(" + name + ",burst,5)");
                if (a.empty()) break;  // the server is gone
                if (IsError(a)) continue;
                std::string id;
                for (const auto& r : TableRows(a))
                    if (r.size() > 1 && r[0] == name) id = r[1];
                std::lock_guard<std::mutex> g(lock);
                acknowledged.insert(name);
                if (!id.empty() && i % 2 == 0) {
                    std::string body(10000 + i, static_cast<char>('a' + i % 26));
                    std::string up =
                        Command(s.Port(), sid, "UploadFile(" + id + ",3,blob.bin)", &body);
                    if (!up.empty() && !IsError(up)) files[name] = body;
                }
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kSanitized ? 1500 : 700));
    s.Kill9();
    stop = true;
    for (auto& t : writers) t.join();
    ASSERT_FALSE(acknowledged.empty());

    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((s.Root() + "/quorvel.db").c_str(), &db), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok");
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    ASSERT_TRUE(s.Start()) << s.Stderr();
    long sid = Login(s.Port(), "admin", kAdminPassword);
    std::set<std::string> apps = Names(Command(s.Port(), sid, "GetApps()"));
    for (const auto& n : acknowledged) EXPECT_TRUE(apps.count(n)) << n;
    for (const auto& n : apps)
        EXPECT_TRUE(fs::is_directory(s.Root() + "/apps/" + n + "/data")) << n;
    for (const auto& [n, body] : files)
        EXPECT_EQ(ReadFile(s.Root() + "/apps/" + n + "/data/blob.bin"), body) << n;
    // And it goes on working.
    EXPECT_FALSE(IsError(Command(s.Port(), sid, "NewApp(after,crash,1)")));
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
}

}  // namespace
