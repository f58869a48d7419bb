// Answers far larger than the receive block arrive whole and byte-exact, however the
// buffer grows: sized from the header, doubling without one, or after a lying header.
#include <string>

#include "studio/session/tests/SessionFixture.h"

using namespace session_test;

namespace {

std::string Bytes(std::size_t n) {
    std::string b(n, '\0');
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<char>(i * 131 + 7);
    return b;
}

}  // namespace

TEST_F(SessionTest, LargeDocumentsArriveWholeHoweverTheBufferGrows) {
    const std::string body = Bytes(3 * 1024 * 1024 + 17);
    TempDir dir;
    TransferKind = kTransferData;
    TransferFileName = "big.bin";
    TransferLocalPath = dir.File("big.bin");

    m_Server.Push(testing_net::Whole(testing_net::HttpOk(body)));
    ASSERT_EQ(Session.Execute(kCmdDownloadFile), 0);
    ASSERT_EQ(Session.ParseResponse(kCmdDownloadFile), 0);
    EXPECT_TRUE(Slurp(dir.File("big.bin").c_str()) == body);

    // Without Content-Length the close ends it; the buffer grows as the bytes come.
    m_Server.Push(testing_net::Whole(testing_net::HttpOkNoLength(body)));
    ASSERT_EQ(Session.Execute(kCmdGetReqScript), 0);
    ASSERT_EQ(Session.ParseResponse(kCmdGetReqScript), 0);
    EXPECT_TRUE(
        std::string(ReqScript.GetContent(), static_cast<std::size_t>(ReqScript.GetSize())) == body);

    // A header that promises far more than comes: room is taken, the answer is still no
    // document, and the file stays as it was.
    const std::string lying = "HTTP/1.1 200 OK\r\nContent-Length: 50000000\r\n\r\n";
    m_Server.Push(testing_net::Whole(lying + body.substr(0, 100000)));
    ASSERT_EQ(Session.Execute(kCmdDownloadFile), 0);
    EXPECT_EQ(Session.m_Response.m_Message.GetSize(), static_cast<long>(lying.size()) + 100000);
    EXPECT_EQ(Session.ParseResponse(kCmdDownloadFile), -1);
    EXPECT_TRUE(Slurp(dir.File("big.bin").c_str()) == body);
    // And a header larger than any reservation still reads what arrives.
    m_Server.Push(testing_net::Whole("HTTP/1.1 200 OK\r\nContent-Length: 2000000000\r\n\r\nab"));
    ASSERT_EQ(Session.Execute(kCmdGetTrace), 0);
    EXPECT_EQ(Session.ParseResponse(kCmdGetTrace), -1);
    EXPECT_TRUE(m_Reports.empty());
}
