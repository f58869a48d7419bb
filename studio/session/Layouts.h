// The column layouts of the server's answer tables: for each command code, which field
// each cell fills, in column order. The parser stores by them and the command-line
// client prints by them, so the two can never disagree.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "studio/session/Records.h"

// A number as atol reads it: leading blanks, an optional sign, digits up to the first
// other character; 0 when there are none. Out-of-range values saturate.
long ParseLong(std::string_view text);

template <class Item>
struct Column {
    const char* key;  // the field's name without "m_"
    bool number;
    void (*set)(Item&, std::string_view);
    std::string (*get)(const Item&);
};

// Empty spans for codes that do not fill that record type.
std::span<const Column<AppItem>> AppLayout(int code);             // 3 to 6, 36
std::span<const Column<ReqItem>> ReqLayout(int code);             // 7 to 10
std::span<const Column<ParamListItem>> ParamLayout(int code);     // 11
std::span<const Column<UserItem>> UserLayout(int code);           // 13, 41, 21 to 24, 38
std::span<const Column<DSItem>> DSLayout(int code);               // 17 to 20, 39
std::span<const Column<FileItem>> FileLayout(int code);           // 25 to 27, 40
std::span<const Column<ServerConfigRec>> ConfigLayout(int code);  // 28
