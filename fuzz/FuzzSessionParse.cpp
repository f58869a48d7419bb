// An answer of arbitrary bytes, parsed as the answer to a table command (or to a login,
// a script or a trace): the first byte picks the code, the rest is the response.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "studio/session/ServerSession.h"

namespace {

const int kCodes[] = {1,  3,  4,  5,  6,  7,  8,  9,  10, 11, 13, 15, 17, 18, 19,
                      20, 21, 22, 23, 24, 25, 26, 27, 28, 34, 36, 38, 39, 40, 41};

void ClearAll() {
    AppList.Clear();
    MonitorAppList.Clear();
    ReqList.Clear();
    DSList.Clear();
    UserList.Clear();
    HtmlList.Clear();
    ImageList.Clear();
    DataList.Clear();
    FileList.Clear();
    CurrentApp.AppUserList.Clear();
    CurrentReq.ReqUserList.Clear();
    CurrentReq.ReqParamList.Clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int code = kCodes[data[0] % (sizeof kCodes / sizeof kCodes[0])];
    const char* answer = reinterpret_cast<const char*>(data + 1);
    const long n = static_cast<long>(size - 1);
    ClearAll();
    const int exchange = Session.TakeResponse(answer, n);
    const int rc = Session.ParseResponse(code);
    if (exchange == 1 && code != kCmdLogin && rc != kServerErrorCode) std::abort();
    if (code == kCmdGetReqScript || code == kCmdGetTrace) {
        const Vessel& body = code == kCmdGetReqScript ? ReqScript : TraceText;
        // A body is never longer than what arrived.
        if (rc == 0 && body.GetSize() > n) std::abort();
    }
    return 0;
}
