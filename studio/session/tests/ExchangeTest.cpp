// Whole exchanges against a scripted server: pieces, closes, silence, server errors,
// downloads, and two threads on one list.
#include <dirent.h>

#include <atomic>
#include <thread>

#include <filesystem>
#include "platform/os/Files.h"
#include "platform/os/System.h"

#include "studio/session/tests/SessionFixture.h"

using namespace session_test;
using testing_net::Hold;
using testing_net::HttpOk;
using testing_net::HttpOkNoLength;
using testing_net::Pieces;
using testing_net::Whole;

namespace {

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d)) ++n;
        ::closedir(d);
    }
    return n;
}

const std::string kAppsTable = Table({{"app1", "7", "first", "30"}, {"app2", "8", "second", "5"}});

}  // namespace

TEST_F(SessionTest, AnswerInOneBytePiecesIsReadWhole) {
    m_Server.Push(Pieces(HttpOk(kAppsTable)));
    ASSERT_EQ(Session.Execute(kCmdGetApps), 0);
    EXPECT_EQ(Message(), HttpOk(kAppsTable));
    EXPECT_EQ(Session.ParseResponse(kCmdGetApps), 0);
    EXPECT_EQ(AppList.Count(), 2);
    EXPECT_EQ(Session.m_Socket, 0);
}

TEST_F(SessionTest, AnswerWithoutLengthIsReadUntilTheServerCloses) {
    const std::string script = std::string("line 1\r\n\r\nline\0 2", 17);
    m_Server.Push(Pieces(HttpOkNoLength(script), 3));
    ASSERT_EQ(Session.Execute(kCmdGetReqScript), 0);
    ASSERT_EQ(Session.ParseResponse(kCmdGetReqScript), 0);
    EXPECT_EQ(std::string(ReqScript.GetContent(), static_cast<std::size_t>(ReqScript.GetSize())),
              script);
}

TEST_F(SessionTest, RefusedConnectionFailsWithoutAMessage) {
    Session.m_ServerAddress = net::MakeAddress(127, 0, 0, 1, 1);
    EXPECT_EQ(Session.Execute(kCmdGetApps), -1);
    EXPECT_TRUE(m_Reports.empty());
    // What failed and where, for a caller that tells a person.
    EXPECT_EQ(Session.GetTransportError(), "cannot connect to 127.0.0.1:1: Connection refused");
    EXPECT_EQ(Session.m_Socket, 0);
    EXPECT_EQ(Session.ParseResponse(kCmdGetApps), 0);
    EXPECT_EQ(AppList.Count(), 0);
}

TEST_F(SessionTest, SilentServerEndsTheExchangeAfterTheIdleTimeout) {
    Session.SetTimeouts(2000, 300);
    m_Server.Push(Hold());
    long long t0 = os::SteadyMillis();
    EXPECT_EQ(Session.Execute(kCmdGetApps), -1);
    long long waited = os::SteadyMillis() - t0;
    EXPECT_GE(waited, 250);
    EXPECT_LT(waited, 5000);
    EXPECT_EQ(Session.m_Socket, 0);

    // Part of a document, then silence: the part is no document.
    TempDir dir;
    TransferLocalPath = dir.File("out.bin");
    m_Server.Push(Hold("HTTP/1.1 200 OK\r\n\r\npartial"));
    EXPECT_EQ(Session.Execute(kCmdDownloadFile), -1);
    EXPECT_EQ(Session.ParseResponse(kCmdDownloadFile), -1);
    EXPECT_FALSE(os::FileExists(TransferLocalPath));
}

TEST_F(SessionTest, SocketIsClosedOnEveryPath) {
    Session.SetTimeouts(2000, 200);
    const int before = OpenDescriptors();
    m_Server.Push(Whole(HttpOk("x")));
    Session.Execute(kCmdGetApps);
    m_Server.Push(Whole("HTTP/1.1 500 x\r\n\r\nSERVER_ERROR"));
    Session.Execute(kCmdGetApps);
    m_Server.Push(Hold());
    Session.Execute(kCmdGetApps);
    Session.m_ServerAddress = net::MakeAddress(127, 0, 0, 1, 1);
    Session.Execute(kCmdGetApps);
    ASSERT_TRUE(m_Server.WaitDone(3));  // the server's own ends of the connections
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(SessionTest, ServerErrorIsReportedAndNothingIsParsed) {
    std::string page = HttpOk(std::string(2000, 'e') + "SERVER_ERROR: App exists!" + kAppsTable);
    m_Server.Push(Whole(page));
    EXPECT_EQ(Session.Execute(kCmdNewApp), 1);
    EXPECT_EQ(Session.m_ErrorCode, kServerErrorCode);
    EXPECT_EQ(std::string(Session.GetErrorText()), page.substr(0, 1023));
    EXPECT_EQ(Session.ParseResponse(kCmdNewApp), kServerErrorCode);
    EXPECT_EQ(AppList.Count(), 0);

    // The next exchange starts clean.
    m_Server.Push(Whole(HttpOk(kAppsTable)));
    EXPECT_EQ(Session.Execute(kCmdGetApps), 0);
    EXPECT_EQ(Session.m_ErrorCode, 0);
    EXPECT_STREQ(Session.GetErrorText(), "");
}

TEST_F(SessionTest, DownloadWritesExactlyTheBody) {
    TempDir dir;
    TransferLocalPath = dir.File("got.bin");
    TransferKind = kTransferData;
    const std::string body = std::string("\0\1\2 body\r\n\r\n", 12);
    // Bytes after the announced length are not part of the file.
    m_Server.Push(Pieces(HttpOk(body) + "TRAILING", 5));
    ASSERT_EQ(Session.Execute(kCmdDownloadFile), 0);
    ASSERT_EQ(Session.ParseResponse(kCmdDownloadFile), 0);
    EXPECT_EQ(Slurp(TransferLocalPath), body);

    // After a server error the local file stays as it was.
    m_Server.Push(Whole(HttpOk("SERVER_ERROR no such file")));
    EXPECT_EQ(Session.Execute(kCmdDownloadFile), 1);
    EXPECT_EQ(Session.ParseResponse(kCmdDownloadFile), kServerErrorCode);
    EXPECT_EQ(Slurp(TransferLocalPath), body);

    // The download goes to disk as it comes: a mark split between two received blocks
    // (of 10000 bytes) is still found, and the error text is the answer's start.
    std::string big = HttpOk(std::string(9954, 'x') + "SERVER_ERROR" + std::string(20000, 'y'));
    for (int split : {9997, 10000, 10005}) {
        m_Server.Push(Pieces(big, static_cast<std::size_t>(split)));
        EXPECT_EQ(Session.Execute(kCmdDownloadFile), 1) << split;
        EXPECT_EQ(std::string(Session.GetErrorText()), big.substr(0, 1023));
        EXPECT_EQ(Session.ParseResponse(kCmdDownloadFile), kServerErrorCode);
        EXPECT_EQ(Slurp(TransferLocalPath), body);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    }
}

TEST_F(SessionTest, OnlyTheHeaderGivesTheDocumentItsLength) {
    TempDir dir;
    TransferLocalPath = dir.File("doc.bin");
    TransferKind = kTransferData;
    // A body line naming a length, without one in the header (the close ends the answer)
    // or under the header's own spelling in small letters.
    const std::string body = "line one\r\nContent-Length: 5\r\n" + std::string(60000, 'b');
    for (const std::string& head :
         {std::string("HTTP/1.1 200 OK\r\n\r\n"),
          "HTTP/1.1 200 OK\r\ncontent-length: " + std::to_string(body.size()) + "\r\n\r\n"}) {
        m_Server.Push(Pieces(head + body, 4000));
        ASSERT_EQ(Session.Execute(kCmdDownloadFile), 0);
        ASSERT_EQ(Session.ParseResponse(kCmdDownloadFile), 0);
        EXPECT_TRUE(Slurp(TransferLocalPath.c_str()) == body) << head;
    }
}

TEST_F(SessionTest, TruncatedOrNegativeDocumentsChangeNothing) {
    TempDir dir;
    TransferLocalPath = dir.File("keep.bin");
    ASSERT_EQ(os::ReplaceFile(TransferLocalPath, "old"), 0);
    ReqScript.Alloc(10, 10);
    ReqScript.AddContent("old", 3);

    // The server promises 100 bytes and closes after 10.
    std::string early = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789";
    m_Server.Push(Whole(early));
    EXPECT_EQ(Session.Execute(kCmdDownloadFile), 0);
    EXPECT_EQ(Session.ParseResponse(kCmdDownloadFile), -1);
    EXPECT_EQ(Slurp(TransferLocalPath), "old");
    m_Server.Push(Whole(early));
    EXPECT_EQ(Session.Execute(kCmdGetReqScript), 0);
    EXPECT_EQ(Session.ParseResponse(kCmdGetReqScript), -1);
    EXPECT_EQ(std::string(ReqScript.GetContent()), "old");

    m_Server.Push(Whole("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nabc"));
    EXPECT_EQ(Session.Execute(kCmdDownloadFile), 0);
    EXPECT_EQ(Session.ParseResponse(kCmdDownloadFile), -1);
    EXPECT_EQ(Slurp(TransferLocalPath), "old");
}

TEST_F(SessionTest, RepaintingThreadNeverSeesAHalfFilledRecord) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 300; ++i)
        rows.push_back({"app" + std::to_string(i), std::to_string(i), "d" + std::to_string(i),
                        std::to_string(i * 2)});
    Answer(HttpOk(Table(rows)));

    std::atomic<bool> done{false};
    std::atomic<long> seen{0};
    std::atomic<bool> torn{false};
    std::thread painter([&] {
        while (!done) {
            // A window fetches by index; the records it reads stay valid until the next
            // Clear, which this test only runs while holding the list.
            AppList.WithRecords([&](lists_detail::Records<AppItem>& r) {
                for (long i = 0; i < r.Count(); ++i) {
                    const AppItem* a = r.At(i);
                    if (a->m_Name != ("app" + std::to_string(a->m_ID)).c_str() ||
                        a->m_SessionTimeout != a->m_ID * 2)
                        torn = true;
                    ++seen;
                }
            });
        }
    });
    for (int round = 0; round < 40; ++round) {
        AppList.Clear();
        EXPECT_EQ(Session.ParseResponse(kCmdGetApps), 0);
    }
    done = true;
    painter.join();
    EXPECT_FALSE(torn);
    EXPECT_EQ(AppList.Count(), 300);
}
