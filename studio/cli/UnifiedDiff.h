// Line differences in unified-diff form: what `diff -u` prints, for quorvel-cli diff.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

struct DiffLine {
    char op;  // ' ' in both, '-' only in the first, '+' only in the second
    std::string_view text;
};

// Appends the shortest edit script from a to b (Myers). Past maxEdits differences the
// rest is given as removed and added whole, so a huge change costs no huge memory.
void DiffLines(std::span<const std::string> a, std::span<const std::string> b,
               std::vector<DiffLine>& out, long maxEdits = 1000);

// The script's hunks ("@@ -1,4 +1,5 @@" and their lines) with context lines around each
// change; "" when nothing changed.
std::string UnifiedHunks(const std::vector<DiffLine>& script, long context = 3);

}  // namespace cli
