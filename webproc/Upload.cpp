// Storing the files of a multipart form post in an application's data folder.
#include <cstring>
#include <string>
#include <string_view>

#include "common/NoThrow.h"
#include "platform/os/Files.h"
#include "platform/os/System.h"
#include "webproc/HttpProcessor.h"

namespace {

constexpr char kFileName[] = "filename=";
constexpr long kFileNameLen = sizeof kFileName - 1;
// Files one message may carry: each costs a trace item of 4 KB.
constexpr long kMaxFiles = 1000;

// A part of a target name that can only ever name a file in the data folder itself:
// no separator of either kind, no "..", no zero character and no leading '.' (which
// also rules out "." and hidden files).
bool IsSafeNamePart(std::string_view s) {
    if (!s.empty() && s[0] == '.') return false;
    return s.find('/') == std::string_view::npos && s.find('\\') == std::string_view::npos &&
           s.find('\0') == std::string_view::npos && s.find("..") == std::string_view::npos;
}

// The same for a folder name taken from the request (the application).
bool IsSafeFolder(const char* s) {
    return s && *s && IsSafeNamePart(s);
}

}  // namespace

int HttpProcessor::Upload(const char* appName, ParamList<ParamListItem>& params,
                          const char* rootFolder, UploadTraceList<UploadTraceListItem>& trace) {
    return NoThrow(
        [&]() -> int {
            if (m_FormType != kFormMultipart || m_BoundaryLength <= 2) return 0;
            const std::string_view msg(m_Message.GetContent() ? m_Message.GetContent() : "",
                                       static_cast<size_t>(m_Message.GetSize()));
            const size_t body = msg.find("\r\n\r\n");
            if (body == std::string_view::npos) return 0;
            // Only the real delimiter (CR LF, "--" and the boundary) ends a part, whatever
            // the data holds; the header's blank line gives the first one its CR LF. Each
            // part is read once, so the cost is linear in the message.
            const std::string delimiter = "\r\n" + std::string(m_Boundary.view());
            size_t at = msg.find(delimiter, body);
            long k = 0;
            while (at != std::string_view::npos) {
                const size_t after = at + delimiter.size();
                if (msg.compare(after, 2, "--") == 0) break;  // the closing delimiter
                const size_t lineEnd = msg.find("\r\n", after);
                if (lineEnd == std::string_view::npos) break;
                // The part's header lines, however many, end at a blank line.
                const size_t headerEnd = msg.find("\r\n\r\n", lineEnd);
                const std::string_view header =
                    msg.substr(lineEnd, headerEnd == std::string_view::npos ? std::string_view::npos
                                                                            : headerEnd - lineEnd);
                const size_t data =
                    headerEnd == std::string_view::npos ? msg.size() : headerEnd + 4;
                const size_t end = headerEnd == std::string_view::npos ? std::string_view::npos
                                                                       : msg.find(delimiter, data);
                at = end;
                const size_t p = header.find(kFileName);
                if (p == std::string_view::npos) continue;  // a field, not a file

                UploadTraceListItem* item = nullptr;
                if (trace.Add(&item) != kListOk || !item) return -1;
                const long part = k++;
                if (part >= kMaxFiles) {
                    item->m_Note = "Error: Too many files";
                    item->m_Status = -1;
                    return -1;
                }

                // The client's name, between the quotes after filename=.
                std::string_view client = header.substr(p + kFileNameLen);
                if (!client.empty() && client.front() == '"') client.remove_prefix(1);
                client = client.substr(0, client.find_first_of("\"\r\n"));
                item->m_ClientFile = client;

                // The extension: after the first '.' of the base name, at most 9 characters.
                const size_t slash = client.rfind('\\');
                const std::string_view baseName =
                    slash == std::string_view::npos ? client : client.substr(slash + 1);
                const size_t dot = baseName.find('.');
                std::string_view extension =
                    dot == std::string_view::npos ? std::string_view() : baseName.substr(dot + 1);
                if (extension.size() > 9) extension = extension.substr(0, 9);

                // The target name: the k-th argument of the call; a part beyond the last
                // argument has none.
                std::string name;
                ParamListItem* arg = nullptr;
                const bool hasArgument = params.GetAt(part, &arg) == kListOk && arg;
                if (hasArgument && arg->m_ValueU.GetSize() > 0)
                    name = os::Utf16ToUtf8(std::u16string_view(
                        arg->m_ValueU.GetContent(), static_cast<size_t>(arg->m_ValueU.GetSize())));
                std::string target = name;
                if (hasArgument && !extension.empty()) target = name + "." + std::string(extension);

                const std::string path = os::JoinPath(
                    {rootFolder ? rootFolder : "", appName ? appName : "", "data", target});
                item->m_ServerFile = path;
                if (target.empty()) {
                    item->m_Note = "Warning: No client file name";
                    item->m_Status = -1;
                    continue;
                }
                // Nothing may be written outside root/app/data, whatever the request says.
                if (!IsSafeNamePart(name) || !IsSafeNamePart(extension) ||
                    !IsSafeNamePart(target) || !IsSafeFolder(appName) ||
                    path.size() > decltype(item->m_ServerFile)::kWidth) {
                    item->m_Note = "Error: Invalid file name";
                    item->m_Status = -1;
                    continue;
                }
                if (end == std::string_view::npos) {
                    item->m_Note = "Error: No border";
                    item->m_Status = -1;
                    return -1;
                }
                if (end == data) {
                    item->m_Note = "Warning: No client file contents";
                    item->m_Status = -1;
                    continue;
                }
                if (!rootFolder) {
                    item->m_Note = "Error: No app directory";
                    item->m_Status = -1;
                    continue;
                }
                if (os::ReplaceFile(path.c_str(), msg.data() + data, end - data) != 0) {
                    item->m_Note = "Error: Cannot write file";
                    item->m_Status = -1;
                }
            }
            return k > 0 ? 1 : 0;
        },
        -1);
}
