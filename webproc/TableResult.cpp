#include "webproc/TableResult.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/NoThrow.h"
#include "logbook/WStrace.h"
#include "platform/os/Files.h"
#include "platform/os/System.h"
#include "webproc/Scan.h"

RosterU* AddTable(TableList<TableListItem>& tables) {
    std::unique_ptr<RosterU> table(new (std::nothrow) RosterU());
    if (!table) return nullptr;
    TableListItem* item = nullptr;
    if (tables.Add(&item) != kListOk || !item) return nullptr;
    item->m_Table = table.get();
    item->m_Owned = std::move(table);
    return item->m_Table;
}

int AddTable(TableList<TableListItem>& tables, RosterU* table) {
    TableListItem* item = nullptr;
    if (tables.Add(&item) != kListOk || !item) return kListNoMemory;
    item->m_Table = table;
    return kListOk;
}

namespace {

using webproc_detail::ParseInt;

// The page is built in a string and handed to the output buffer once, so the cost of
// a large page does not depend on the output buffer's grow step.
class Page {
public:
    explicit Page(TableList<TableListItem>& tables) : m_Tables(tables) {}

    std::string& Text() { return m_Out; }

    void Template(std::string_view tpl) {
        // A zero character ends the page.
        const size_t zero = tpl.find('\0');
        if (zero != std::string_view::npos) tpl = tpl.substr(0, zero);
        const char* p = tpl.data();
        const char* end = p + tpl.size();
        while (p < end) {
            const char* hash =
                static_cast<const char*>(std::memchr(p, '#', static_cast<size_t>(end - p)));
            if (!hash) {
                m_Out.append(p, static_cast<size_t>(end - p));
                break;
            }
            m_Out.append(p, static_cast<size_t>(hash - p));
            p = hash;
            const char* after = Marker(p, end);
            if (after) {
                p = after;
            } else {
                m_Out += '#';  // malformed or out of range: the marker stays as text
                ++p;
            }
        }
    }

    void Plain(std::string_view missingName) {
        m_Out +=
            "<html><head><meta content='text/html; charset=utf-8' "
            "http-equiv=Content-Type></head><body>";
        const long count = m_Tables.Count();
        for (long t = 0; t < count; ++t) {
            m_Out += "\n\n<table border=1>";
            RosterU* table = TableAt(t);
            long records = 0, fields = 0;
            if (table) {
                table->GetNumberOfRecords(&records);
                table->GetNumberOfFields(&fields);
            }
            for (long r = 0; r < records; ++r) {
                m_Out += "\n<tr>";
                for (long f = 0; f < fields; ++f) {
                    m_Out += "<td>";
                    Cell(*table, r, f);
                    m_Out += "</td>";
                }
                m_Out += "</tr>";
            }
            m_Out += "\n</table><br>";
        }
        m_Out += "\n";
        // The name comes from the request: as HTML it could carry markup or script.
        AppendEscaped(missingName);
        m_Out += ".html not found!\n</body></html>";
    }

    void Error(int code) {
        char text[32];
        std::snprintf(text, sizeof text, "Error: %d", code);
        m_Out += "<html><body>\n<table>\n<tr><td>\n";
        m_Out += text;
        m_Out += "<br>Please contact technical support.\n</td></tr>\n</table>\n</body></html>";
    }

private:
    void AppendEscaped(std::string_view text) {
        for (const char c : text) {
            switch (c) {
                case '&':
                    m_Out += "&amp;";
                    break;
                case '<':
                    m_Out += "&lt;";
                    break;
                case '>':
                    m_Out += "&gt;";
                    break;
                case '"':
                    m_Out += "&quot;";
                    break;
                case '\'':
                    m_Out += "&#39;";
                    break;
                default:
                    m_Out += c;
            }
        }
    }

    RosterU* TableAt(long t) {
        TableListItem* item = nullptr;
        if (m_Tables.GetAt(t, &item) != kListOk || !item) return nullptr;
        return item->m_Table;
    }

    void Cell(RosterU& table, long r, long f) {
        char16_t* cell = nullptr;
        long length = 0;
        if (table.GetField(r, f, &cell, &length) != 0 || !cell || length <= 0) return;
        // Plain ASCII needs no conversion; anything else goes through the UTF-8 encoder.
        bool ascii = true;
        for (long i = 0; i < length && ascii; ++i) ascii = cell[i] < 0x80;
        if (ascii) {
            const size_t at = m_Out.size();
            m_Out.resize(at + static_cast<size_t>(length));
            for (long i = 0; i < length; ++i)
                m_Out[at + static_cast<size_t>(i)] = static_cast<char>(cell[i]);
        } else {
            m_Out += os::Utf16ToUtf8(std::u16string_view(cell, static_cast<size_t>(length)));
        }
    }

    // What the scan knows of the stretch of template from one marker's '(' to the next
    // ')', CR, LF or the end: markers that begin inside a stretch share its end and its
    // commas, so each stretch is searched once however many markers begin inside it,
    // and the whole template is scanned in one pass.
    struct Stretch {
        const char* from = nullptr;       // searched from here
        const char* stop = nullptr;       // the first ')', CR, LF or the end after from
        std::vector<const char*> commas;  // the commas in [from, stop)
        std::vector<int> values;          // the argument after each comma, once read
        std::vector<bool> read;
        size_t first = 0;  // the first comma at or after the last marker's '('
    };

    // The argument after a comma of the stretch, up to the next comma or the stretch's end.
    int ArgumentAfter(size_t comma) {
        Stretch& s = m_Stretch;
        if (!s.read[comma]) {
            const char* from = s.commas[comma] + 1;
            const char* to = comma + 1 < s.commas.size() ? s.commas[comma + 1] : s.stop;
            s.values[comma] = ParseInt(from, to - from);
            s.read[comma] = true;
        }
        return s.values[comma];
    }

    // The arguments of a marker whose '(' ends at p: up to the first ')'; a CR, LF or
    // the end before it means there is no marker. Returns the count (more than 3 are
    // counted, not kept) and the position after ')', or -1.
    int Arguments(const char* p, const char* end, int* args, const char** after) {
        Stretch& s = m_Stretch;
        if (!s.from || p > s.stop) {
            // Markers come in text order, so a new stretch begins after the last one.
            s = Stretch();
            s.from = p;
            const char* q = p;
            while (q < end && *q != ')' && *q != '\r' && *q != '\n') {
                if (*q == ',') s.commas.push_back(q);
                ++q;
            }
            s.stop = q;
            s.values.assign(s.commas.size(), 0);
            s.read.assign(s.commas.size(), false);
        }
        if (s.stop >= end || *s.stop != ')') return -1;
        *after = s.stop + 1;
        if (p == s.stop) return 0;
        while (s.first < s.commas.size() && s.commas[s.first] < p) ++s.first;
        const size_t commas = s.commas.size() - s.first;
        const char* firstEnd = commas > 0 ? s.commas[s.first] : s.stop;
        args[0] = ParseInt(p, firstEnd - p);
        for (size_t k = 1; k < 3 && k <= commas; ++k) args[k] = ArgumentAfter(s.first + k - 1);
        return commas + 1 > 3 ? 4 : static_cast<int>(commas + 1);
    }

    static bool StartsWith(const char* p, const char* end, std::string_view word) {
        return static_cast<size_t>(end - p) >= word.size() &&
               std::memcmp(p, word.data(), word.size()) == 0;
    }

    // Renders the marker at p; the position after it, or null when it is not one.
    const char* Marker(const char* p, const char* end) {
        int args[3] = {0, 0, 0};
        const char* after = nullptr;
        if (StartsWith(p, end, "#FIELD(")) {
            if (Arguments(p + 7, end, args, &after) != 3) return nullptr;
            return Field(args[0], args[1], args[2]) ? after : nullptr;
        }
        if (StartsWith(p, end, "#TABLE(")) {
            const int n = Arguments(p + 7, end, args, &after);
            if (n != 1 && n != 2) return nullptr;  // a second argument is ignored
            return Rows(args[0]) ? after : nullptr;
        }
        if (StartsWith(p, end, "#SELECT(")) {
            if (Arguments(p + 8, end, args, &after) != 3) return nullptr;
            return Options(args[0], args[1], args[2]) ? after : nullptr;
        }
        return nullptr;
    }

    bool Shape(int t, RosterU** table, long* records, long* fields) {
        *table = t >= 0 ? TableAt(t) : nullptr;
        if (!*table) return false;
        (*table)->GetNumberOfRecords(records);
        (*table)->GetNumberOfFields(fields);
        return true;
    }

    bool Field(int t, int r, int f) {
        RosterU* table = nullptr;
        long records = 0, fields = 0;
        if (!Shape(t, &table, &records, &fields)) return false;
        if (r < 0 || r >= records || f < 0 || f >= fields) return false;
        Cell(*table, r, f);
        return true;
    }

    bool Rows(int t) {
        RosterU* table = nullptr;
        long records = 0, fields = 0;
        if (!Shape(t, &table, &records, &fields)) return false;
        const std::string_view tr = table->GetTRParam();
        const std::string_view trEx = table->GetTRParamEx();
        const std::string_view td = table->GetTDParam();
        std::vector<std::string> cellOpen(static_cast<size_t>(fields));
        for (long f = 0; f < fields; ++f) {
            std::string& open = cellOpen[static_cast<size_t>(f)];
            open = "<td";
            if (!td.empty()) open.append(" ").append(td);
            const std::string_view own = table->GetTDParam(f);
            if (!own.empty()) open.append(" ").append(own);
            open += '>';
        }
        const bool multi = table->GetSMType() == 1;
        for (long r = 0; r < records; ++r) {
            m_Out += "<tr";
            const std::string_view attr = (trEx.empty() || r % 2 == 0) ? tr : trEx;
            if (!attr.empty()) m_Out.append(" ").append(attr);
            m_Out += '>';
            if (multi && table->GetRecordStatus(r) == 1) {
                m_Out += "<td colspan=" + std::to_string(fields) + ">";
                if (fields > 0) Cell(*table, r, 0);
                m_Out += "</td>";
            } else {
                for (long f = 0; f < fields; ++f) {
                    m_Out += cellOpen[static_cast<size_t>(f)];
                    Cell(*table, r, f);
                    m_Out += "</td>";
                }
            }
            m_Out += r + 1 < records ? "</tr>\n" : "</tr>";
        }
        return true;
    }

    bool Options(int t, int v, int x) {
        RosterU* table = nullptr;
        long records = 0, fields = 0;
        if (!Shape(t, &table, &records, &fields)) return false;
        if (v < 0 || v >= fields || x < 0 || x >= fields) return false;
        for (long r = 0; r < records; ++r) {
            m_Out += r == 0 ? "<option value='" : "\n<option value='";
            Cell(*table, r, v);
            m_Out += '\'';
            if (table->GetRecordStatus(r) == 1) m_Out += " selected";
            m_Out += '>';
            Cell(*table, r, x);
            m_Out += "</option>";
        }
        return true;
    }

    TableList<TableListItem>& m_Tables;
    std::string m_Out;
    Stretch m_Stretch;
};

// The response header up to the blank line; *lengthField is where the Content-Length
// digits go (ten blanks wide). Acting on the session cookie resets its action.
std::string Header(RunItem& run, size_t* lengthField) {
    std::string h = "HTTP/1.1 200 OK\r\nServer: Quorvel/2.1\r\nConnection: close";
    h += "\r\nContent-Type: text/html";
    char line[512];
    CookieState& c = run.m_Cookies;
    // A CR or LF would end the header line and let a cookie's text add lines of its own:
    // such a cookie is not set, whatever its kind.
    const auto breaks = [](std::string_view t) { return t.find_first_of("\r\n") != t.npos; };
    const auto refuse = [&run] {
        if (!run.m_Trace) return;
        const std::string why = "Cookie not set: its name, value or path holds CR or LF";
        run.m_Trace->Print(why.data(), static_cast<long>(why.size()), "", 0);
    };
    if (c.m_InUse == 1 &&
        (c.m_Action == CookieState::kSetSession || c.m_Action == CookieState::kExpireSession)) {
        const bool expire = c.m_Action == CookieState::kExpireSession;
        c.m_Action = CookieState::kNone;
        for (const CookieEntry& e : c.m_Entries) {
            if (e.m_Kind != CookieEntry::kSession) continue;
            if (breaks(e.m_Path.view())) {
                refuse();
                continue;
            }
            if (expire)
                std::snprintf(line, sizeof line,
                              "\r\nSet-Cookie: jsessionid=%d; Expires=Wed, 07-May-2014 00:00:01 "
                              "GMT; Path=/%s/;",
                              run.m_SessionID, e.m_Path.c_str());
            else
                std::snprintf(line, sizeof line, "\r\nSet-Cookie: jsessionid=%d; Path=/%s/;",
                              run.m_SessionID, e.m_Path.c_str());
            h += line;
        }
    }
    for (const CookieEntry& e : c.m_Entries) {
        if (e.m_Kind != CookieEntry::kNamed) continue;
        if (breaks(e.m_Name.view()) || breaks(e.m_Value.view()) || breaks(e.m_Path.view())) {
            refuse();
            continue;
        }
        std::snprintf(line, sizeof line, "\r\nSet-Cookie: %s=%s; Path=/%s/;", e.m_Name.c_str(),
                      e.m_Value.c_str(), e.m_Path.c_str());
        h += line;
    }
    h += "\r\nContent-Length: ";
    *lengthField = h.size();
    h += "          \r\n\r\n";
    return h;
}

// template: the page template, or null when it is missing (missingName names it).
void Render(TableList<TableListItem>& tables, RunItem* given, Vessel& out, bool withHeader,
            const std::string_view* pageTemplate, std::string_view missingName) {
    RunItem none;
    RunItem& run = given ? *given : none;
    size_t lengthField = 0;
    std::string header = Header(run, &lengthField);

    Page page(tables);
    if (tables.m_ErrorCode != 0) {
        page.Error(tables.m_ErrorCode);
        if (run.m_Trace)
            run.m_Trace->Print(tables.m_ErrorMsg.c_str(),
                               static_cast<long>(tables.m_ErrorMsg.size()), "", 0);
    } else if (pageTemplate) {
        page.Template(*pageTemplate);
    } else {
        page.Plain(missingName);
    }

    const std::string& body = page.Text();
    if (withHeader) {
        const std::string digits = std::to_string(body.size());
        header.replace(lengthField, digits.size() < 10 ? digits.size() : 10, digits.substr(0, 10));
        out.AddContent(header.data(), static_cast<long>(header.size()));
    }
    if (!body.empty()) out.AddContent(body.data(), static_cast<long>(body.size()));
}

// A page or application name taken from the request must not lead out of the root
// folder: a ".." anywhere, or a zero character, and the template counts as missing.
bool IsSafeTemplateName(std::string_view name) {
    return name.find("..") == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

}  // namespace

int f_TableListToHttpResult(TableList<TableListItem>& tables, RunItem* run, Vessel& out,
                            const char* pageName) {
    return NoThrow(
        [&]() -> int {
            std::string name;
            if (pageName && *pageName)
                name = pageName;
            else if (run && !run->m_PageName.empty())
                name = run->m_PageName.str();
            else if (run)
                name = run->m_RequestName.str();
            std::string text;
            bool found = false;
            if (tables.m_ErrorCode == 0 && run && IsSafeTemplateName(name) &&
                IsSafeTemplateName(run->m_AppName.view())) {
                const std::string path =
                    os::JoinPath({run->m_RootFolder.view(), run->m_AppName.view(), name + ".html"});
                found = os::ReadWholeFile(path.c_str(), text) == 0;
            }
            const std::string_view view(text);
            Render(tables, run, out, pageName == nullptr, found ? &view : nullptr, name);
            return 0;
        },
        0);
}

int f_TableListToHttpResultFromText(TableList<TableListItem>& tables, RunItem* run, Vessel& out,
                                    std::string_view pageTemplate, bool withHeader) {
    return NoThrow(
        [&]() -> int {
            Render(tables, run, out, withHeader, &pageTemplate, std::string_view());
            return 0;
        },
        0);
}
