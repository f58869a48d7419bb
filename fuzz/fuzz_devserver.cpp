// One request as the server received it, answered in-process by DevServer::Handle on a
// temporary root. The first byte chooses the framing: 'R' takes the rest as the whole
// message, anything else takes the rest as a command body that gets a DEV header and
// the cookie of a live administrator session, so the commands themselves are reached.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "devserver/Framing.h"
#include "devserver/Server.h"
#include "webproc/HttpProcessor.h"

namespace {

devserver::DevServer* g_Server = nullptr;
std::string g_Root;
long g_Session = 0;

std::string Answer(const std::string& message) {
    HttpProcessor http;
    http.m_Message.Alloc(static_cast<long>(message.size()) + 1, 5000);
    http.m_Message.AddContent(message.data(), static_cast<long>(message.size()));
    return g_Server->Handle(http);
}

std::string Wrap(const std::string& body) {
    std::string m = "DEV \r\n";
    if (g_Session) m += "Cookie: jsessionid=" + std::to_string(g_Session) + "\r\n";
    m += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    return m;
}

void Start() {
    std::string root =
        (std::filesystem::temp_directory_path() / "qv-fuzz-devserver-XXXXXX").string();
    if (!::mkdtemp(root.data())) std::abort();
    g_Root = root;
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(g_Root, ec);
    });
    devserver::Options o;
    o.root = root;
    o.seedDemo = true;
    o.fastHash = true;
    o.durable = false;
    ::setenv("QUORVEL_ADMIN_PASSWORD", "fuzz", 1);
    g_Server = new devserver::DevServer;
    std::string error, password;
    if (g_Server->Open(o, error, password) != 0) std::abort();
    std::string a = Answer(Wrap("server_request=server_login(admin,fuzz)\r\n\r\n"));
    std::size_t p = a.find("jsessionid=");
    if (p == std::string::npos) std::abort();
    g_Session = std::atol(a.c_str() + p + 11);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!g_Server) Start();
    if (size == 0) return 0;
    std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string message = data[0] == 'R' ? rest : Wrap(rest);
    // What the connection decides before handling: a verdict carries a status and reason.
    long long length = 0;
    const devserver::Verdict early = devserver::EarlyVerdict(message, 65536);
    const devserver::Verdict whole = devserver::HeaderVerdict(
        std::string_view(message).substr(0, message.find("\r\n\r\n")), 1 << 20, length);
    if ((early.status != 0 && early.reason.empty()) ||
        (whole.status != 0 && whole.reason.empty()) ||
        (whole.status == 0 && (length < 0 || length > (1 << 20))))
        std::abort();
    // Logging out would end the session every later input needs.
    if (message.find("server_logout") != std::string::npos) return 0;
    std::string answer = Answer(message);
    if (answer.compare(0, 9, "HTTP/1.1 ") != 0) std::abort();  // every answer is a response
    return 0;
}
