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
            if (m_FormType != kFormMultipart) return 0;
            long agent = 0;
            if (!m_Message.ContainsN("User-Agent:", 11, &agent, 0)) agent = 0;
            long p = 0;
            if (!m_Message.ContainsN(kFileName, kFileNameLen, &p, agent)) return 0;

            const char* base = m_Message.GetContent();
            const long size = m_Message.GetSize();
            long searchFrom = agent;
            for (long k = 0; m_Message.ContainsN(kFileName, kFileNameLen, &p, searchFrom); ++k) {
                searchFrom = p + 1;
                // The part header is two lines (the disposition and the content type) and a
                // blank line, as browsers send it; the data runs up to the next "\r\n---".
                long data = size;
                long at = 0;
                if (m_Message.ContainsN("\r\n", 2, &at, p + 1) &&
                    m_Message.ContainsN("\r\n", 2, &at, at + 2) &&
                    m_Message.ContainsN("\r", 1, &at, at + 2))
                    data = at + 2;
                long end = 0;
                const bool bounded = data < size && m_Message.ContainsN("\r\n---", 5, &end, data);
                // The next part begins after this one's data: a "filename=" inside a file's
                // contents is not a part.
                if (bounded) searchFrom = end;

                UploadTraceListItem* item = nullptr;
                if (trace.Add(&item) != kListOk || !item) return -1;

                // The client's name, between the quotes after filename=.
                const long nameStart = p + 10 < size ? p + 10 : size;
                long nameEnd = nameStart;
                while (nameEnd < size && base[nameEnd] != '"') ++nameEnd;
                const std::string_view client(base + nameStart,
                                              static_cast<size_t>(nameEnd - nameStart));
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
                const bool hasArgument = params.GetAt(k, &arg) == kListOk && arg;
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

                if (!bounded) {
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
                if (os::ReplaceFile(path.c_str(), base + data, static_cast<size_t>(end - data)) !=
                    0) {
                    item->m_Note = "Error: Cannot write file";
                    item->m_Status = -1;
                }
            }
            return 1;
        },
        -1);
}
