#include "studio/cli/UnifiedDiff.h"

#include <algorithm>

namespace cli {

void DiffLines(std::span<const std::string> a, std::span<const std::string> b,
               std::vector<DiffLine>& out, long maxEdits) {
    // The common start and end need no search.
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    for (std::size_t i = 0; i < head; ++i) out.push_back({' ', a[i]});
    const std::span<const std::string> x = a.subspan(head, a.size() - head - tail);
    const std::span<const std::string> y = b.subspan(head, b.size() - head - tail);
    const long n = static_cast<long>(x.size()), m = static_cast<long>(y.size());

    // Myers: v[k] is the furthest x reached on diagonal k after d edits; each round's
    // diagonals -d to d are kept to walk the path back (memory grows with d squared).
    const long limit = std::min(n + m, maxEdits);
    const long offset = limit + 1;
    std::vector<long> v(static_cast<std::size_t>(2 * offset + 1), 0);
    std::vector<std::vector<long>> rounds;
    long found = -1;
    for (long d = 0; d <= limit && found < 0; ++d) {
        for (long k = -d; k <= d; k += 2) {
            long px = (k == -d || (k != d && v[offset + k - 1] < v[offset + k + 1]))
                          ? v[offset + k + 1]
                          : v[offset + k - 1] + 1;
            long py = px - k;
            while (px < n && py < m && x[px] == y[py]) ++px, ++py;
            v[offset + k] = px;
            if (px >= n && py >= m) {
                found = d;
                break;
            }
        }
        rounds.emplace_back(v.begin() + (offset - d), v.begin() + (offset + d + 1));
    }
    std::vector<DiffLine> middle;
    if (found < 0) {
        for (const std::string& s : x) middle.push_back({'-', s});
        for (const std::string& s : y) middle.push_back({'+', s});
    } else {
        long px = n, py = m;
        for (long d = found; d > 0; --d) {
            // Round d - 1 kept the diagonals from -(d - 1): diagonal j is at j + d - 1.
            const std::vector<long>& prev = rounds[static_cast<std::size_t>(d - 1)];
            auto at = [&prev, d](long j) { return prev[static_cast<std::size_t>(j + d - 1)]; };
            const long k = px - py;
            const bool down = k == -d || (k != d && at(k - 1) < at(k + 1));
            const long pk = down ? k + 1 : k - 1;
            const long sx = at(pk), sy = sx - pk;
            while (px > (down ? sx : sx + 1) && py > (down ? sy + 1 : sy))
                middle.push_back({' ', x[--px]}), --py;
            if (down)
                middle.push_back({'+', y[--py]});
            else
                middle.push_back({'-', x[--px]});
        }
        while (px > 0 && py > 0) middle.push_back({' ', x[--px]}), --py;
        std::reverse(middle.begin(), middle.end());
    }
    out.insert(out.end(), middle.begin(), middle.end());
    for (std::size_t i = a.size() - tail; i < a.size(); ++i) out.push_back({' ', a[i]});
}

std::string UnifiedHunks(const std::vector<DiffLine>& script, long context) {
    std::string text;
    const long size = static_cast<long>(script.size());
    long i = 0;
    // Line numbers (from 1) in each side at script position i.
    long oldLine = 1, newLine = 1;
    auto advance = [&](long to) {
        for (; i < to; ++i) {
            if (script[i].op != '+') ++oldLine;
            if (script[i].op != '-') ++newLine;
        }
    };
    while (true) {
        long change = i;
        while (change < size && script[change].op == ' ') ++change;
        if (change >= size) break;
        advance(std::max(i, change - context));
        // The hunk runs until context * 2 unchanged lines in a row, or the end.
        long end = change;
        for (long same = 0; end < size; ++end) {
            same = script[end].op == ' ' ? same + 1 : 0;
            if (same > 2 * context) {
                end = end + 1 - (same - context);  // keep context lines after the change
                break;
            }
        }
        if (end >= size) {
            end = size;
            long same = 0;
            while (same < end - change && script[end - 1 - same].op == ' ') ++same;
            end -= std::max(0L, same - context);
        }
        long oldCount = 0, newCount = 0;
        for (long j = i; j < end; ++j) {
            if (script[j].op != '+') ++oldCount;
            if (script[j].op != '-') ++newCount;
        }
        text += "@@ -" + std::to_string(oldCount ? oldLine : oldLine - 1) + "," +
                std::to_string(oldCount) + " +" + std::to_string(newCount ? newLine : newLine - 1) +
                "," + std::to_string(newCount) + " @@\n";
        for (long j = i; j < end; ++j) {
            text += script[j].op;
            text += script[j].text;
            text += '\n';
        }
        advance(end);
    }
    return text;
}

}  // namespace cli
