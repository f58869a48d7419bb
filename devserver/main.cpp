// quorvel-devserver --root DIR [--port N] [--bind ADDR] [--admin-password-file FILE]
//                   [--seed-demo] [--max-request-mb N] [--idle-timeout-s N]
//                   [--request-timeout-s N] [--max-connections-per-address N]
//                   [--max-trace-kb N] [--sql-time-limit-ms N] [--max-result-rows N]
//                   [--max-run-sessions N] [--max-anonymous-sessions-per-address N]
//                   [--max-data-mb N] [--max-held-mb N] [--workers N] [--keep-alive-s N]
//                   [--max-requests-per-connection N] [--fast-hash] | --help | --version
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "devserver/Server.h"

namespace {

// To standard output when asked for with --help, else with the error on standard error.
void Usage(std::FILE* to = stderr) {
    std::fprintf(
        to,
        "usage: quorvel-devserver --root DIR [--port N] [--bind ADDR] [--admin-password-file "
        "FILE]\n"
        "                         [--seed-demo] [--max-request-mb N] [--idle-timeout-s N]\n"
        "                         [--request-timeout-s N] [--max-connections-per-address N]\n"
        "                         [--max-trace-kb N] [--sql-time-limit-ms N] [--max-result-rows "
        "N]\n"
        "                         [--max-run-sessions N] [--max-anonymous-sessions-per-address "
        "N]\n"
        "                         [--max-data-mb N] [--max-held-mb N] [--workers N]\n"
        "                         [--keep-alive-s N] [--max-requests-per-connection N] "
        "[--fast-hash]\n"
        "       quorvel-devserver --help | --version\n"
        "  --port 0 picks a free port; the port is printed on standard error.\n"
        "  The administrator's password on the first start comes from --admin-password-file,\n"
        "  else from QUORVEL_ADMIN_PASSWORD, else it is made up and printed once.\n");
}

// The option's value as a number in [low, high]; a bad one ends the program naming both.
long long Number(const std::string& option, const char* text, long long low, long long high) {
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text, &end, 10);
    if (!*text || *end || errno != 0 || v < low || v > high) {
        std::fprintf(stderr,
                     "quorvel-devserver: bad value for %s: \"%s\" (a number from %lld to %lld)\n",
                     option.c_str(), text, low, high);
        std::exit(2);
    }
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    devserver::Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "quorvel-devserver: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--root")
            o.root = value();
        else if (a == "--bind")
            o.bind = value();
        else if (a == "--admin-password-file")
            o.adminPasswordFile = value();
        else if (a == "--seed-demo")
            o.seedDemo = true;
        else if (a == "--fast-hash")
            o.fastHash = true;
        else if (a == "--port")
            o.port = static_cast<int>(Number(a, value(), 0, 65535));
        else if (a == "--max-request-mb")
            o.maxRequestBytes = Number(a, value(), 1, 2000) * 1024 * 1024;
        else if (a == "--max-trace-kb")
            o.maxTraceBytes = Number(a, value(), 4, 1 << 30) * 1024;
        else if (a == "--request-timeout-s")
            o.requestTimeoutMs = static_cast<int>(Number(a, value(), 1, 86400) * 1000);
        else if (a == "--workers")
            o.maxConnections = static_cast<int>(Number(a, value(), 1, 1024));
        else if (a == "--keep-alive-s")
            o.keepAliveIdleMs = static_cast<int>(Number(a, value(), 0, 3600) * 1000);
        else if (a == "--max-requests-per-connection")
            o.maxRequestsPerConnection = static_cast<int>(Number(a, value(), 1, 1000000));
        else if (a == "--max-connections-per-address")
            o.maxConnectionsPerAddress = static_cast<int>(Number(a, value(), 1, 64));
        else if (a == "--sql-time-limit-ms")
            o.sqlTimeLimitMs = static_cast<int>(Number(a, value(), 1, 3600000));
        else if (a == "--max-result-rows")
            o.maxResultRows = static_cast<long>(Number(a, value(), 1, 100000000));
        else if (a == "--max-run-sessions")
            o.maxRunSessions = static_cast<int>(Number(a, value(), 1, 1000000));
        else if (a == "--max-anonymous-sessions-per-address")
            o.maxAnonymousSessionsPerAddress = static_cast<int>(Number(a, value(), 1, 1000000));
        else if (a == "--max-held-mb")
            o.maxHeldBytes = Number(a, value(), 1, 1 << 20) * 1024 * 1024;
        else if (a == "--max-data-mb")
            o.maxDataBytes = Number(a, value(), 1, 1 << 20) * 1024 * 1024;
        else if (a == "--idle-timeout-s")
            o.idleTimeoutMs = static_cast<int>(Number(a, value(), 1, 86400) * 1000);
        else if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--version") {
            std::puts("quorvel-devserver " QV_VERSION);
            return 0;
        } else {
            std::fprintf(stderr, "quorvel-devserver: bad option %s\n", a.c_str());
            Usage();
            return 2;
        }
    }
    if (o.root.empty()) {
        Usage();
        return 2;
    }
    // Signals are taken by one thread with sigwait; every other thread blocks them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    devserver::DevServer server;
    std::string error, password;
    const int opened = server.Open(o, error, password);
    // The hash is stored by now: the password is printed before anything else can fail,
    // or it would be lost for good.
    if (!password.empty()) {
        std::fprintf(stderr,
                     "quorvel-devserver: administrator \"admin\" created with password %s\n",
                     password.c_str());
        std::fflush(stderr);
    }
    if (opened != 0 || server.Listen(error) != 0) {
        std::fprintf(stderr, "quorvel-devserver: %s\n", error.c_str());
        return 1;
    }
    if (o.seedDemo)
        std::fprintf(
            stderr,
            "quorvel-devserver: demo application \"demo\"; demo users developer/developer (Dev), "
            "shopper/shopper (Run)\n");
    std::fprintf(stderr, "quorvel-devserver: listening on %s port %u\n", o.bind.c_str(),
                 server.Port());
    if (o.seedDemo)
        std::fprintf(stderr,
                     "quorvel-devserver: the demo shop is at http://%s:%u/demo/index.html\n",
                     o.bind == "0.0.0.0" ? "127.0.0.1" : o.bind.c_str(), server.Port());
    std::fflush(stderr);
    std::thread signals([&] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        server.Stop();
    });
    server.Serve();
    // Serve returns only after Stop; the signal thread has finished or is about to.
    signals.join();
    std::fprintf(stderr, "quorvel-devserver: stopped\n");
    return 0;
}
