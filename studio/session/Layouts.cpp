#include "studio/session/Layouts.h"

#include <climits>

long ParseLong(std::string_view t) {
    std::size_t i = 0;
    const std::size_t n = t.size();
    while (i < n && (t[i] == ' ' || (t[i] >= '\t' && t[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < n && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    unsigned long value = 0;
    const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1UL : LONG_MAX;
    bool saturated = false;
    for (; i < n && t[i] >= '0' && t[i] <= '9'; ++i) {
        unsigned digit = static_cast<unsigned>(t[i] - '0');
        if (saturated || value > (limit - digit) / 10) {
            saturated = true;
            continue;
        }
        value = value * 10 + digit;
    }
    if (saturated) return negative ? LONG_MIN : LONG_MAX;
    if (negative)
        return value == static_cast<unsigned long>(LONG_MAX) + 1UL ? LONG_MIN
                                                                   : -static_cast<long>(value);
    return static_cast<long>(value);
}

#define QV_TEXT(Item, field, key)                                     \
    Column<Item> {                                                    \
        key, false, [](Item& r, std::string_view v) { r.field = v; }, \
            [](const Item& r) { return r.field.str(); }               \
    }
#define QV_NUMBER(Item, field, key)                                             \
    Column<Item> {                                                              \
        key, true, [](Item& r, std::string_view v) { r.field = ParseLong(v); }, \
            [](const Item& r) { return std::to_string(r.field); }               \
    }

namespace {

const Column<AppItem> kApps[] = {
    QV_TEXT(AppItem, m_Name, "Name"),
    QV_NUMBER(AppItem, m_ID, "ID"),
    QV_TEXT(AppItem, m_Description, "Description"),
    QV_NUMBER(AppItem, m_SessionTimeout, "SessionTimeout"),
};
const Column<AppItem> kMonitorApps[] = {
    QV_TEXT(AppItem, m_Name, "Name"),
    QV_TEXT(AppItem, m_Description, "Description"),
    QV_NUMBER(AppItem, m_SessionsNow, "SessionsNow"),
    QV_NUMBER(AppItem, m_SessionsToday, "SessionsToday"),
    QV_NUMBER(AppItem, m_SessionsMonth, "SessionsMonth"),
    QV_NUMBER(AppItem, m_SessionsTotal, "SessionsTotal"),
};
const Column<ReqItem> kReqs[] = {
    QV_TEXT(ReqItem, m_Name, "Name"),
    QV_NUMBER(ReqItem, m_ID, "ID"),
    QV_NUMBER(ReqItem, m_DSID, "DSID"),
    QV_NUMBER(ReqItem, m_AppID, "AppID"),
    QV_NUMBER(ReqItem, m_Language, "Language"),
    QV_NUMBER(ReqItem, m_Access, "Access"),
    QV_TEXT(ReqItem, m_Modified.m_Text, "Modified"),
};
const Column<ParamListItem> kParams[] = {
    QV_TEXT(ParamListItem, m_Name, "Name"),
    QV_NUMBER(ParamListItem, m_Number, "Number"),
};
const Column<UserItem> kReqUsers[] = {
    QV_TEXT(UserItem, m_Name, "Name"),
    QV_NUMBER(UserItem, m_ID, "ID"),
};
const Column<UserItem> kAppUsers[] = {
    QV_NUMBER(UserItem, m_ID, "ID"),
    QV_TEXT(UserItem, m_Name, "Name"),
    QV_NUMBER(UserItem, m_Type, "Type"),
};
const Column<UserItem> kUsers[] = {
    QV_TEXT(UserItem, m_Name, "Name"),
    QV_TEXT(UserItem, m_Description, "Description"),
    QV_NUMBER(UserItem, m_ID, "ID"),
    QV_NUMBER(UserItem, m_Type, "Type"),
};
const Column<DSItem> kDSs[] = {
    QV_TEXT(DSItem, m_Name, "Name"),
    QV_NUMBER(DSItem, m_ID, "ID"),
    QV_TEXT(DSItem, m_Description, "Description"),
    QV_TEXT(DSItem, m_UserName, "UserName"),
    QV_NUMBER(DSItem, m_Connections, "Connections"),
};
const Column<FileItem> kFiles[] = {
    QV_TEXT(FileItem, m_Name, "Name"),
    QV_TEXT(FileItem, m_Size, "Size"),
    QV_TEXT(FileItem, m_Modified, "Modified"),
    QV_TEXT(FileItem, m_Kind, "Kind"),
};
const Column<ServerConfigRec> kConfig[] = {
    QV_TEXT(ServerConfigRec, m_SystemTrace, "SystemTrace"),
    QV_TEXT(ServerConfigRec, m_AppTrace, "AppTrace"),
    QV_TEXT(ServerConfigRec, m_RunTrace, "RunTrace"),
    QV_TEXT(ServerConfigRec, m_JavaReload, "JavaReload"),
    QV_TEXT(ServerConfigRec, m_ServerName, "ServerName"),
    QV_TEXT(ServerConfigRec, m_HttpSessions, "HttpSessions"),
    QV_TEXT(ServerConfigRec, m_Executing, "Executing"),
    QV_TEXT(ServerConfigRec, m_Version, "Version"),
    QV_TEXT(ServerConfigRec, m_MemoryTotal, "MemoryTotal"),
    QV_TEXT(ServerConfigRec, m_MemoryAvailable, "MemoryAvailable"),
    QV_TEXT(ServerConfigRec, m_MemoryUsed, "MemoryUsed"),
    QV_TEXT(ServerConfigRec, m_Date, "Date"),
    QV_TEXT(ServerConfigRec, m_Time, "Time"),
};

}  // namespace

std::span<const Column<AppItem>> AppLayout(int code) {
    if (code >= 3 && code <= 6) return kApps;
    if (code == 36) return kMonitorApps;
    return {};
}

std::span<const Column<ReqItem>> ReqLayout(int code) {
    if (code >= 7 && code <= 10) return kReqs;
    return {};
}

std::span<const Column<ParamListItem>> ParamLayout(int code) {
    if (code == 11) return kParams;
    return {};
}

std::span<const Column<UserItem>> UserLayout(int code) {
    if (code == 13) return kReqUsers;
    if (code == 41) return kAppUsers;
    if ((code >= 21 && code <= 24) || code == 38) return kUsers;
    return {};
}

std::span<const Column<DSItem>> DSLayout(int code) {
    if ((code >= 17 && code <= 20) || code == 39) return kDSs;
    return {};
}

std::span<const Column<FileItem>> FileLayout(int code) {
    if (code >= 25 && code <= 27) return std::span<const Column<FileItem>>(kFiles, 3);
    if (code == 40) return kFiles;
    return {};
}

std::span<const Column<ServerConfigRec>> ConfigLayout(int code) {
    if (code == 28) return kConfig;
    return {};
}
