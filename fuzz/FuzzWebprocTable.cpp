// Table results rendered through arbitrary templates over arbitrary cells.
// Input: the template up to the first zero byte, then the tables as text: '\f' between
// tables, '\n' between records, '\t' between cells; a cell beginning with '\x01' holds
// raw UTF-16 units (lone surrogates included). The first byte picks widths and options.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/os/System.h"
#include "webproc/HttpProcessor.h"
#include "webproc/TableResult.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string_view> Split(std::string_view s, char sep) {
    std::vector<std::string_view> out;
    size_t from = 0;
    for (;;) {
        const size_t at = s.find(sep, from);
        out.push_back(
            s.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos) return out;
        from = at + 1;
    }
}

std::u16string CellText(std::string_view cell) {
    if (!cell.empty() && cell[0] == '\x01') {
        std::u16string raw;
        for (size_t i = 1; i + 1 < cell.size(); i += 2)
            raw += static_cast<char16_t>(static_cast<unsigned char>(cell[i]) |
                                         static_cast<unsigned char>(cell[i + 1]) << 8);
        return raw;
    }
    return os::Utf8ToUtf16(cell);
}

void Fill(TableList<TableListItem>& list, std::string_view text, uint8_t control) {
    const long width = 1 + (control >> 3) % 24;
    int tables = 0;
    for (std::string_view tableText : Split(text, '\f')) {
        if (++tables > 4) break;
        RosterU* t = AddTable(list);
        if (!t) std::abort();
        std::vector<std::vector<std::string_view>> records;
        size_t fields = 0;
        for (std::string_view line : Split(tableText, '\n')) {
            if (records.size() >= 40) break;
            records.push_back(Split(line, '\t'));
            if (records.back().size() > 8) records.back().resize(8);
            if (records.back().size() > fields) fields = records.back().size();
        }
        for (size_t f = 0; f < fields; ++f) t->CreateField(width);
        for (size_t r = 0; r < records.size(); ++r) {
            t->CreateRecord();
            for (size_t f = 0; f < records[r].size(); ++f) {
                const std::u16string u = CellText(records[r][f]);
                t->SetField(static_cast<long>(r), static_cast<long>(f), u.c_str());
            }
        }
        if (control & 1) t->SetTRParam("class=odd", "class=even");
        if (control & 2) {
            t->SetTDParam("align=left");
            t->SetTDParam(0, "width=10");
        }
        if (control & 4) {
            t->SetMultiSelected();
            t->SetSelectedRecord(0);
        }
    }
}

void SetRun(RunItem& run, const fs::path& root) {
    run.m_SessionID = 7;
    run.m_AppName = "app";
    run.m_RequestName = "page";
    run.m_RootFolder = root.string();
    run.m_Cookies.m_InUse = 1;
    run.m_Cookies.m_Action = CookieState::kSetSession;
    run.m_Cookies.m_Entries.clear();
    CookieEntry session;
    session.m_Kind = CookieEntry::kSession;
    session.m_Path = "app";
    run.m_Cookies.m_Entries.push_back(session);
    CookieEntry named;
    named.m_Name = "lang";
    named.m_Value = "en";
    named.m_Path = "app";
    run.m_Cookies.m_Entries.push_back(named);
}

std::string Text(const Vessel& v) {
    return std::string(v.GetContent() ? v.GetContent() : "", static_cast<size_t>(v.GetSize()));
}

struct Folder {
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "fuzz-table-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        root = pattern;
        fs::create_directories(root / "app");
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(Get().root, ec);
        });
    }
    static Folder& Get() {
        static Folder folder;
        return folder;
    }
    fs::path root;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t control = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t zero = rest.find('\0');
    const std::string_view tpl = rest.substr(0, zero);
    const std::string_view tablesText =
        zero == std::string_view::npos ? std::string_view() : rest.substr(zero + 1);

    TableList<TableListItem> list;
    Fill(list, tablesText, control);
    if (control & 0x80) list.m_ErrorCode = 5;

    Vessel body;
    f_TableListToHttpResultFromText(list, nullptr, body, tpl, false);
    const std::string bodyText = Text(body);

    // The whole response: the body above behind a header whose Content-Length fits it,
    // complete for a reader of responses.
    Folder& folder = Folder::Get();
    RunItem run;
    SetRun(run, folder.root);
    HttpProcessor response;
    f_TableListToHttpResultFromText(list, &run, response.m_Message, tpl, true);
    const std::string whole = Text(response.m_Message);
    const long header = response.GetHeaderLength();
    if (header <= 0 || whole.substr(static_cast<size_t>(header)) != bodyText) std::abort();
    if (response.GetContentLength() != static_cast<long>(bodyText.size())) std::abort();
    // An empty page says "Content-Length: 0", which reads as no length at all: such an
    // answer ends when the server closes the connection.
    if (response.IsMoreData() != bodyText.empty()) std::abort();

    // The same template read from the page's file gives the same response.
    {
        std::ofstream file(folder.root / "app" / "page.html", std::ios::binary | std::ios::trunc);
        file.write(tpl.data(), static_cast<std::streamsize>(tpl.size()));
    }
    SetRun(run, folder.root);
    Vessel fromFile;
    f_TableListToHttpResult(list, &run, fromFile, nullptr);
    if (Text(fromFile) != whole) {
        std::fprintf(stderr, "from text:\n%s\nfrom file:\n%s\n", whole.c_str(),
                     Text(fromFile).c_str());
        std::abort();
    }
    return 0;
}
