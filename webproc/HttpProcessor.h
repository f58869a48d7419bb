// One HTTP message (a request received by a server, or a response received by the
// studio) held as raw bytes and questioned by scanning them in place.
//
// Reading a message in pieces:
//     HttpProcessor http;
//     while (http.m_Message.GetSize() == 0 || http.IsMoreData())
//         ... receive a block, http.m_Message.AddContent(block, n) ...
// IsMoreData keeps what it has already found between calls, so a whole read loop costs
// time linear in the message size. It notices a new message when the caller empties
// or re-allocates m_Message (Free or Alloc); a processor can therefore be reused.
//
// Order for a request: fill m_Message, call GetHttpType, then GetReqType, then the
// request's name and parameters (GetRequestNameAndParams) or its upload (Upload).
// Results: the int operations return 0 on success and -1 on failure unless said below;
// the questions answer bool; numbers read from the message are 0 when absent. The
// processor owns m_Message; every char buffer passed in belongs to the caller and is
// written zero-terminated; the lists passed in receive items that the lists own.
#pragma once

#include <cstddef>
#include <string>

#include "common/Export.h"
#include "common/FixedText.h"
#include "common/Lists.h"
#include "vessel/Vessel.h"

// One file part of a multipart upload, with what became of it.
struct UploadTraceListItem {
    FixedText<1024> m_Label;       // not written by Upload; free for the caller
    FixedText<1024> m_ClientFile;  // the file name exactly as the client sent it
    FixedText<1024> m_ServerFile;  // the target path under the application's data folder
    FixedText<1024> m_Note;        // empty on success, else a warning or an error
    int m_Status = 0;              // 0 success, -1 failure of this part
};

template <class Item = UploadTraceListItem>
class UploadTraceList : public PlainList<Item> {};

class QV_WEBPROC_API HttpProcessor {
public:
    // Message kinds (m_HttpType).
    enum : int {
        kHttpUnknown = 0,
        kHttpPost = 1,
        kHttpGet = 2,
        kHttpDev = 3,
        kHttpResponse = 4,
        kHttpOptions = 5,
        kHttpHead = 6,
    };
    // Request kinds (m_ReqType).
    enum : int {
        kReqNone = 0,
        kReqPage = 1,
        kReqGetCall = 2,
        kReqFormCall = 3,
        kReqDevCommand = 4,
        kReqDevLogin = 5,
        kReqDevLogout = 6,
    };
    // Body encodings (m_FormType).
    enum : int { kFormNone = 0, kFormUrlEncoded = 1, kFormMultipart = 2 };
    // The ParamList error code of a syntax error in a call.
    static constexpr int kSyntaxError = 110;
    // Arguments one call may have; more are a syntax error.
    static constexpr long kMaxArguments = 50000;

    HttpProcessor() = default;
    ~HttpProcessor() = default;
    // Two processors over one buffer would free it twice.
    HttpProcessor(const HttpProcessor&) = delete;
    HttpProcessor& operator=(const HttpProcessor&) = delete;

    Vessel m_Message;  // the bytes received so far; callers append with AddContent

    // Scanning.
    // The message's kind from its first word (kHttpGet ... kHttpHead, kHttpUnknown),
    // also kept in m_HttpType.
    int GetHttpType();
    // Bytes up to and including the blank line that ends the header; 0 while it has not
    // arrived.
    long GetHeaderLength();
    // The value of the header's Content-Length line (the name in any case, one blank
    // after the colon); 0 when there is none. A body line never counts.
    long GetContentLength();
    // Whether the header has a Content-Length line at all (a length of 0 is a length).
    bool HasContentLength();
    // True while the message is not whole: its header has not ended, or (POST, DEV and
    // responses) its body is shorter than its Content-Length; without a length, or for
    // an unknown kind, always true (the body ends when the peer closes). False for an
    // empty message.
    bool IsMoreData();
    // The number of the jsessionid cookie; 0 without one.
    long GetSessionID();
    // The number after "server_userid="; -1 without one.
    long GetUserID();
    // value has room for 51 characters; 0 found or not (empty), -1 value cut to 50.
    int GetCookie(const char* name, char* value);
    // The same into size bytes (at most 50 characters and the terminator): -1 when cut.
    int GetCookie(const char* name, char* value, std::size_t size);
    // The path after "POST " into out, which has room for size bytes (1024 gives every
    // path the library takes); -1 when it did not fit (out then holds as much as fits).
    int GetPathFileName(char* out, int size);

    // Requests and form parameters.
    // The request's kind (kReqNone ... kReqDevLogout), also kept in m_ReqType, with
    // m_FormType and m_PathName. Finds the message's kind first (GetHttpType) when
    // nothing has yet. Never fails: kReqNone for what is no request.
    int GetReqType();
    // After GetReqType, for a call (kReqGetCall and up): the request's name into name,
    // which has room for 51 characters, and one item per argument appended to params.
    // -1 for no call, or a name too long or a syntax error (params.m_ErrorCode set).
    int GetRequestNameAndParams(char* name, ParamList<ParamListItem>& params);
    // The same into size bytes: -1 also when the name was cut to fit.
    int GetRequestNameAndParams(char* name, std::size_t size, ParamList<ParamListItem>& params);
    // The value of a field of a url-encoded form body (after GetReqType), appended to
    // out; nothing when the message has no such field.
    void GetParameter(const char* fieldName, Vessel& out);
    // The application's name: the first folder of the request line's path. name has room
    // for 50 characters. -1 when the path has none.
    int GetAppName(char* name);
    // The same into size bytes: -1 also when the name was cut to fit.
    int GetAppName(char* name, std::size_t size);

    // Multipart upload into rootFolder/appName/data, after GetReqType found a multipart
    // form: one trace item per file part, saying what became of it. 1 when a file part
    // was handled (see each item's m_Status), 0 when the message holds none, -1 when the
    // upload stopped (too many files, a part without its end, no memory).
    int Upload(const char* appName, ParamList<ParamListItem>& params, const char* rootFolder,
               UploadTraceList<UploadTraceListItem>& trace);

    int m_HttpType = kHttpUnknown;
    int m_ReqType = kReqNone;
    int m_FormType = kFormNone;
    bool m_RequestInBody = true;
    char* m_PathName = nullptr;  // into m_Message; valid while it is unchanged
    FixedText<100> m_Boundary;   // "--" and the boundary of the Content-Type header
    int m_BoundaryLength = 0;

private:
    friend struct HttpProcessorPeer;  // tests of the private steps

    QV_LOCAL bool ContainsCookie(const char* name, long* outPosition);
    QV_LOCAL int GetFormType();
    QV_LOCAL int GetParams(const char* text, ParamList<ParamListItem>& params);
    QV_LOCAL int GetDecodedParamValue(const char* text, Vessel& out);
    // Appends the form value that begins at text, decoded, to value.
    QV_LOCAL void DecodeParamValue(const char* text, std::string& value);

    // Where the body's call text begins for kinds 3 to 6 with the call in the body; -1 none.
    QV_LOCAL long FindCallInBody();
    // The position after the nearest '/' or blank before the call's '(' in the request
    // line; -1 when the request line holds no call.
    QV_LOCAL long FindCallInPath();
    // The start for searches that must skip the header lines a client controls least.
    QV_LOCAL long FormSearchStart();
    QV_LOCAL void FillUtf16Values(ParamList<ParamListItem>& params);

    // What IsMoreData has found so far in the message it last saw. Searches resume a
    // pattern's length minus one before where they stopped, so a pattern that arrived
    // split across two blocks is still found.
    struct ScanState {
        unsigned generation = 0;
        long seen = -1;          // size at the last call; -1 before the first
        long headerFrom = 0;     // next search start for "\r\n\r\n"
        long headerLength = 0;   // found: position + 4; 0 not yet
        long contentLength = 0;  // read once the header is whole
    };
    QV_LOCAL void SyncScanState();
    ScanState m_Scan;
};
