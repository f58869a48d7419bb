// HTTP message scanning on arbitrary bytes: the message arrives in pieces whose sizes
// come from the data, and after every piece the incremental IsMoreData must answer as
// a fresh scan of the same bytes does. The request questions then run on the whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "webproc/HttpProcessor.h"

namespace {

// Piece sizes from a small generator seeded by the data, so every input has its own
// split and the same input always splits the same way.
struct Splitter {
    explicit Splitter(const uint8_t* data, size_t size) {
        for (size_t i = 0; i < size; ++i) state = (state ^ data[i]) * 1099511628211ULL;
        state |= 1;
    }
    long Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        // Mostly small pieces (a split pattern is the hard case), now and then a big one.
        const uint64_t r = state % 16;
        if (r < 8) return 1 + static_cast<long>(state >> 8) % 4;
        if (r < 15) return 1 + static_cast<long>(state >> 8) % 32;
        return 1 + static_cast<long>(state >> 8) % 2048;
    }
    uint64_t state = 1469598103934665603ULL;
};

bool FreshMoreData(const char* data, long size) {
    HttpProcessor fresh;
    fresh.m_Message.AddContent(data, size);
    return fresh.IsMoreData();
}

// Feeds data to http in pieces, checking every answer against a fresh scan.
void Feed(HttpProcessor& http, const char* data, long size, Splitter& split) {
    long fed = 0;
    while (fed < size) {
        long n = split.Next();
        if (n > size - fed) n = size - fed;
        http.m_Message.AddContent(data + fed, n);
        fed += n;
        const bool more = http.IsMoreData();
        if (more != FreshMoreData(data, fed)) std::abort();
        // Complete is never declared before the header's blank line.
        if (!more && http.GetHeaderLength() == 0) std::abort();
    }
}

void AskEverything(HttpProcessor& http) {
    http.GetHttpType();
    http.GetHeaderLength();
    http.GetContentLength();
    http.GetSessionID();
    http.GetUserID();
    char value[51];
    http.GetCookie("jsessionid", value, sizeof value);
    http.GetCookie("a", value);
    char path[1024];
    http.GetPathFileName(path, sizeof path);
    http.GetReqType();
    char name[51];
    ParamList<ParamListItem> params;
    http.GetRequestNameAndParams(name, sizeof name, params);
    Vessel out;
    http.GetParameter("server_request", out);
    http.GetParameter("x", out);
    char app[50];
    http.GetAppName(app, sizeof app);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const long n = static_cast<long>(size);
    Splitter split(data, size);
    HttpProcessor http;
    Feed(http, text, n, split);
    AskEverything(http);
    // The processor reused for a second message after the buffer was emptied: nothing
    // of the first may leak into the answers about the second.
    const long half = n / 2;
    http.m_Message.Free();
    Feed(http, text + half, n - half, split);
    AskEverything(http);
    return 0;
}
