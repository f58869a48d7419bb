// The table reader: rows of "<tr>", cells of "<td>" ... "</td>", up to "</table>" or
// the end of the response. Each row's cells are collected first and the record is
// added and filled in one step under its list's lock, so a window that paints from
// another thread never sees a half-filled record.
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "common/NoThrow.h"
#include "studio/session/Layouts.h"
#include "studio/session/ServerSession.h"

namespace {

constexpr int kMaxColumns = 16;  // more than any layout has; later cells are ignored

struct Row {
    std::string_view cells[kMaxColumns];
    int count = 0;  // columns stored (at most kMaxColumns)
};

class Scanner {
public:
    Scanner(const char* s, long n) : m_S(s), m_N(n) {}

    bool At(long i, const char* lit, long len) const {
        return i + len <= m_N && std::memcmp(m_S + i, lit, static_cast<std::size_t>(len)) == 0;
    }
    // The next '<' at or after i; m_N when none.
    long NextTag(long i) const {
        if (i >= m_N) return m_N;
        const void* q = std::memchr(m_S + i, '<', static_cast<std::size_t>(m_N - i));
        return q ? static_cast<const char*>(q) - m_S : m_N;
    }

    // Calls onRow for every row from start on; returns when the table or the text ends.
    template <class OnRow>
    void Rows(long pos, OnRow onRow) const {
        while (pos < m_N) {
            pos = NextTag(pos);
            if (pos >= m_N || At(pos, "</table>", 8)) return;
            if (!At(pos, "<tr>", 4)) {
                ++pos;
                continue;
            }
            pos += 4;
            Row row;
            bool tableEnds = false;
            while (pos < m_N) {
                if (At(pos, "</tr>", 5)) {
                    pos += 5;
                    break;
                }
                if (At(pos, "<td>", 4)) {
                    pos += 4;
                    // A cell ends at "</td>", or at a "<td>" that starts the next one.
                    long e = pos;
                    bool closed = false;
                    for (;;) {
                        e = NextTag(e);
                        if (e >= m_N) break;
                        if (At(e, "</td>", 5)) {
                            closed = true;
                            break;
                        }
                        if (At(e, "<td>", 4)) break;
                        ++e;
                    }
                    if (row.count < kMaxColumns)
                        row.cells[row.count++] =
                            std::string_view(m_S + pos, static_cast<std::size_t>(e - pos));
                    pos = closed ? e + 5 : e;
                    continue;
                }
                // Outside the server's format: skip to the next tag, but a "</table>"
                // here still ends the table and a "<tr>" starts the next row.
                if (At(pos, "</table>", 8)) {
                    tableEnds = true;
                    break;
                }
                if (At(pos, "<tr>", 4)) break;
                pos = NextTag(pos + 1);
            }
            onRow(row);
            if (tableEnds) return;
        }
    }

private:
    const char* m_S;
    long m_N;
};

template <class List, class Item>
void FillList(const Scanner& scan, long start, List& list, std::span<const Column<Item>> layout,
              bool (*keep)(const Row&) = nullptr) {
    scan.Rows(start, [&](const Row& row) {
        if (keep && !keep(row)) return;
        list.WithRecords([&](lists_detail::Records<Item>& records) {
            Item* item = nullptr;
            if (records.Add(&item) != kListOk || !item) return;  // the row is dropped
            const int n = row.count < static_cast<int>(layout.size())
                              ? row.count
                              : static_cast<int>(layout.size());
            for (int c = 0; c < n; ++c)
                layout[static_cast<std::size_t>(c)].set(*item, row.cells[c]);
        });
    });
}

// A flat file list (Htmls, Images, Data) holds files only. Its fetch answers three
// columns; a change in it is answered with the folder's listing, whose fourth column
// says file ("0") or folder, and only the files are kept.
bool IsFileRow(const Row& row) {
    return row.count < 4 || row.cells[3] == "0";
}

// Each request's data source name from DSList, by id. DSList is read first and its
// lock released before ReqList is locked: no operation holds two list locks.
void FillDSNames() {
    std::vector<std::pair<long, FixedText<50>>> names;
    DSList.WithRecords([&](lists_detail::Records<DSItem>& r) {
        for (long i = 0; i < r.Count(); ++i) names.emplace_back(r.At(i)->m_ID, r.At(i)->m_Name);
    });
    ReqList.WithRecords([&](lists_detail::Records<ReqItem>& r) {
        for (long i = 0; i < r.Count(); ++i) {
            ReqItem* req = r.At(i);
            req->m_DSName.Clear();
            for (const auto& ds : names) {
                if (ds.first == req->m_DSID) {
                    req->m_DSName = ds.second.view();
                    break;
                }
            }
        }
    });
}

}  // namespace

int ServerSession::ParseTable(int code) {
    return NoThrow(
        [&]() -> int {
            if (!IsTableCode(code)) {
                Report("Incorrect DevRequestType");
                return -1;
            }
            const Vessel& m = m_Response.m_Message;
            long start = 0;
            if (m.GetSize() == 0 || !m.Contains("<tr>", &start, 0)) return -1;
            Scanner scan(m.GetContent(), m.GetSize());

            if (code >= 3 && code <= 6) {
                FillList(scan, start, AppList, AppLayout(code));
            } else if (code == 36) {
                FillList(scan, start, MonitorAppList, AppLayout(code));
            } else if (code >= 7 && code <= 10) {
                FillList(scan, start, ReqList, ReqLayout(code));
                FillDSNames();
            } else if (code == 11) {
                FillList(scan, start, CurrentReq.ReqParamList, ParamLayout(code));
            } else if (code == 13) {
                FillList(scan, start, CurrentReq.ReqUserList, UserLayout(code));
            } else if (code == 41) {
                FillList(scan, start, CurrentApp.AppUserList, UserLayout(code));
            } else if ((code >= 21 && code <= 24) || code == 38) {
                FillList(scan, start, UserList, UserLayout(code));
            } else if ((code >= 17 && code <= 20) || code == 39) {
                FillList(scan, start, DSList, DSLayout(code));
            } else if (code >= 25 && code <= 27) {
                FillList(scan, start, *FileListOfKind(code - 24), FileLayout(code), IsFileRow);
            } else if (code == 40) {
                FillList(scan, start, FileList, FileLayout(code));
            } else if (code == 28) {
                auto layout = ConfigLayout(code);
                scan.Rows(start, [&](const Row& row) {
                    for (int c = 0; c < row.count && c < static_cast<int>(layout.size()); ++c)
                        layout[static_cast<std::size_t>(c)].set(ServerConfig, row.cells[c]);
                });
            }
            return 0;
        },
        -1);
}
