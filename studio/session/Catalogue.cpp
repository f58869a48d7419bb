// The command catalogue: the text of every command and the extra bodies of the five
// that carry one. Every text is formatted with a bound; one that would not fit is
// refused, never cut, since a cut command would be a different command.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/NoThrow.h"
#include "platform/os/LocalFile.h"
#include "studio/session/ServerSession.h"

namespace {

const char* const kNames[43] = {
    "",
    "server_login",
    "server_logout",
    "GetApps",
    "NewApp",
    "EditApp",
    "DeleteApp",
    "GetReqs",
    "NewReq",
    "EditReq",
    "DeleteReq",
    "GetReqParams",
    "SetReqParams",
    "GetReqUsers",
    "SetReqUsers",
    "GetReqScript",
    "SetReqScript",
    "GetDSs",
    "NewDS",
    "EditDS",
    "DeleteDS",
    "GetUsers",
    "NewUser",
    "EditUser",
    "DeleteUser",
    "GetHtmls",
    "GetImages",
    "GetData",
    "GetConfig",
    "SetConfig",
    "DownloadFile",
    "UploadFile",
    "DeleteFile",
    "RenameFile",
    "GetTrace",
    "CleanTrace",
    "GetConfigApps",
    "",
    "UserPwd",
    "DSPwd",
    "GetFiles",
    "GetAppUsers",
    "SetAppUsers",
};

constexpr const char* kEnd = "\r\n\r\n";

// snprintf into the command-text storage; -1 when the text would not fit.
int Format(char* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
int Format(char* out, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(out, static_cast<std::size_t>(kCommandTextSize), format, ap);
    va_end(ap);
    if (n < 0 || n >= kCommandTextSize) {
        out[0] = '\0';
        return -1;
    }
    return 0;
}

int Append(Vessel& v, const char* s, long n) {
    return n > 0 ? v.AddContent(s, n) : 0;
}
int Append(Vessel& v, const char* s) {
    return Append(v, s, static_cast<long>(std::strlen(s)));
}

int ParamTable(Vessel& out) {
    int rc = Append(out, "<table>");
    char number[32];
    for (long p = 0; rc == 0 && p < ReqParamList.Count(); ++p) {
        ParamListItem* item = nullptr;
        ReqParamList.GetAt(p, &item);
        std::snprintf(number, sizeof number, "%li", p);
        rc |= Append(out, "<tr><td>");
        rc |= Append(out, item->m_Name);
        rc |= Append(out, "</td><td>");
        rc |= Append(out, number);
        rc |= Append(out, "</td></tr>");
    }
    rc |= Append(out, "</table>");
    return rc == 0 ? 0 : -1;
}

int UserTable(const UserListType& list, Vessel& out) {
    int rc = Append(out, "<table>");
    char number[32];
    for (long i = 0; rc == 0 && i < list.Count(); ++i) {
        UserItem* item = nullptr;
        list.GetAt(i, &item);
        std::snprintf(number, sizeof number, "%ld", item->m_ID);
        rc |= Append(out, "<tr><td>");
        rc |= Append(out, number);
        rc |= Append(out, "</td></tr>");
    }
    rc |= Append(out, "</table>");
    return rc == 0 ? 0 : -1;
}

}  // namespace

LoginCredentials Credentials;

const char* CommandName(int code) {
    return (code >= 1 && code <= 42) ? kNames[code] : "";
}

int CommandCodeOf(const char* name) {
    if (!name || !*name) return 0;
    for (int code = 1; code <= 42; ++code)
        if (std::strcmp(kNames[code], name) == 0) return code;
    return 0;
}

bool IsTableCode(int code) {
    return (code >= 3 && code <= 11) || code == 13 || (code >= 17 && code <= 28) || code == 36 ||
           (code >= 38 && code <= 41);
}

bool IsDocumentCode(int code) {
    return code == 15 || code == 30 || code == 34;
}

bool HasExtraBody(int code) {
    return code == 12 || code == 14 || code == 16 || code == 31 || code == 42;
}

// The file name DownloadFile and UploadFile send: for the Files kind the current folder,
// a backslash and the name, built here only, so the name's holder never changes and a
// retry sends what the first try sent. False when it does not fit the holder's width.
static bool TransferWireName(std::string& name) {
    name = TransferFileName.str();
    if (TransferKind != kTransferFiles) return true;
    name = std::string(FolderPath.view()) + "\\" + name;
    return name.size() <= TransferFileName.kWidth;
}

int ServerSession::FormatCommand(int code, std::string& text, Vessel& extra) {
    return FormatText(code, text, extra, true);
}

int ServerSession::FormatText(int code, std::string& text, Vessel& extra, bool readUpload) {
    return NoThrow(
        [&]() -> int {
            char out[kCommandTextSize];
            std::string transferName;
            if ((code == kCmdDownloadFile || code == kCmdUploadFile) &&
                !TransferWireName(transferName)) {
                m_ErrorText = "The file name with its folder is too long!";
                return -1;
            }
            const CurrentAppRec& a = CurrentApp;
            const CurrentReqRec& r = CurrentReq;
            const CurrentDSRec& d = CurrentDS;
            const CurrentUserRec& u = CurrentUser;
            const ServerConfigRec& c = ServerConfig;
            const char* e = "";
            int rc = 0;
            text.clear();
            switch (code) {
                case 1:
                    rc = Format(out, "server_request=server_login(%s,%s)%s",
                                Credentials.m_UserName.c_str(), Credentials.m_Password.c_str(),
                                kEnd);
                    break;
                case 2:
                    rc = Format(out, "server_request=server_logout()%s%s", e, kEnd);
                    break;
                case 3:
                    rc = Format(out, "server_request=GetApps()%s%s", e, kEnd);
                    break;
                case 4:
                    rc = Format(out, "server_request=NewApp(%s,%s,%ld)%s%s", a.m_Name.c_str(),
                                a.m_Description.c_str(), a.m_SessionTimeout, e, kEnd);
                    break;
                case 5:
                    rc = Format(out, "server_request=EditApp(%s,%ld,%s,%ld)%s%s", a.m_Name.c_str(),
                                a.m_ID, a.m_Description.c_str(), a.m_SessionTimeout, e, kEnd);
                    break;
                case 6:
                    rc = Format(out, "server_request=DeleteApp(%ld)%s%s", a.m_ID, e, kEnd);
                    break;
                case 7:
                    rc = Format(out, "server_request=GetReqs(%ld)%s%s", a.m_ID, e, kEnd);
                    break;
                case 8:
                    rc = Format(out, "server_request=NewReq(%s,%ld,%ld,%ld,%ld)%s%s",
                                r.m_Name.c_str(), r.m_DSID, r.m_AppID, r.m_Language, r.m_Access, e,
                                kEnd);
                    break;
                case 9:
                    rc = Format(out, "server_request=EditReq(%s,%ld,%ld,%ld,%ld,%ld)%s%s",
                                r.m_Name.c_str(), r.m_ID, r.m_DSID, r.m_AppID, r.m_Language,
                                r.m_Access, e, kEnd);
                    break;
                case 10:
                    rc = Format(out, "server_request=DeleteReq(%ld)%s%s", r.m_ID, e, kEnd);
                    break;
                case 11:
                    rc = Format(out, "server_request=GetReqParams(%ld)%s%s", r.m_ID, e, kEnd);
                    break;
                case 12:
                    rc = Format(out, "server_request=SetReqParams(%ld)%s&&&", r.m_ID, e);
                    if (rc == 0) rc = ParamTable(extra);
                    break;
                case 13:
                    rc = Format(out, "server_request=GetReqUsers(%ld)%s%s", r.m_ID, e, kEnd);
                    break;
                case 14:
                    rc = Format(out, "server_request=SetReqUsers(%ld)%s&&&", r.m_ID, e);
                    if (rc == 0) rc = UserTable(r.ReqUserList, extra);
                    break;
                case 15:
                    rc = Format(out, "server_request=GetReqScript(%ld)%s%s", r.m_ID, e, kEnd);
                    break;
                case 16:
                    rc = Format(out, "server_request=SetReqScript(%ld)%s&&&", r.m_ID, e);
                    // The script is appended straight from ReqScript when the request is built.
                    break;
                case 17:
                    rc = Format(out, "server_request=GetDSs()%s%s", e, kEnd);
                    break;
                case 18:
                    rc = Format(out, "server_request=NewDS(%s,%s,%ld)%s%s", d.m_Name.c_str(),
                                d.m_Description.c_str(), d.m_Connections, e, kEnd);
                    break;
                case 19:
                    rc = Format(out, "server_request=EditDS(%s,%ld,%s,%ld)%s%s", d.m_Name.c_str(),
                                d.m_ID, d.m_Description.c_str(), d.m_Connections, e, kEnd);
                    break;
                case 20:
                    rc = Format(out, "server_request=DeleteDS(%ld)%s%s", d.m_ID, e, kEnd);
                    break;
                case 21:
                    rc = Format(out, "server_request=GetUsers()%s%s", e, kEnd);
                    break;
                case 22:
                    rc = Format(out, "server_request=NewUser(%s,%s,%ld)%s%s", u.m_Name.c_str(),
                                u.m_Description.c_str(), u.m_Type, e, kEnd);
                    break;
                case 23:
                    rc = Format(out, "server_request=EditUser(%s,%s,%ld,%ld)%s%s", u.m_Name.c_str(),
                                u.m_Description.c_str(), u.m_ID, u.m_Type, e, kEnd);
                    break;
                case 24:
                    rc = Format(out, "server_request=DeleteUser(%ld)%s%s", u.m_ID, e, kEnd);
                    break;
                case 25:
                    rc = Format(out, "server_request=GetHtmls(%ld)%s%s", a.m_ID, e, kEnd);
                    break;
                case 26:
                    rc = Format(out, "server_request=GetImages(%ld)%s%s", a.m_ID, e, kEnd);
                    break;
                case 27:
                    rc = Format(out, "server_request=GetData(%ld)%s%s", a.m_ID, e, kEnd);
                    break;
                case 28:
                    rc = Format(out, "server_request=GetConfig()%s%s", e, kEnd);
                    break;
                case 29:
                    rc = Format(out, "server_request=SetConfig(%s,%s,%s,%s)%s%s",
                                c.m_JavaReload.c_str(), c.m_SystemTrace.c_str(),
                                c.m_AppTrace.c_str(), c.m_RunTrace.c_str(), e, kEnd);
                    break;
                case 30:
                    rc = Format(out, "server_request=DownloadFile(%ld,%d,%s)%s%s",
                                TransferKind == kTransferRequest ? r.m_ID : a.m_ID, TransferKind,
                                transferName.c_str(), e, kEnd);
                    break;
                case 31:
                    rc = Format(out, "server_request=UploadFile(%ld,%d,%s)%s&&&", a.m_ID,
                                TransferKind, transferName.c_str(), e);
                    // An unreadable file would go out as an empty one and replace the server's
                    // copy.
                    if (rc == 0 && readUpload &&
                        ReadLocalFile(TransferLocalPath.c_str(), extra) != 0) {
                        m_ErrorText = std::string("The local file cannot be read: ") +
                                      TransferLocalPath.c_str();
                        return -1;
                    }
                    break;
                case 32:
                    rc = Format(out, "server_request=DeleteFile(%ld,%s,%s)%s%s", a.m_ID,
                                FileFolder.c_str(), TransferFileName.c_str(), e, kEnd);
                    break;
                case 33:
                    rc = Format(out, "server_request=RenameFile(%ld,%s,%s,%s)%s%s", a.m_ID,
                                FileFolder.c_str(), TransferFileName.c_str(), RenameNewName.c_str(),
                                e, kEnd);
                    break;
                case 34:
                    rc = Format(out, "server_request=GetTrace(%ld)%s%s", TraceKind, e, kEnd);
                    break;
                case 35:
                    rc = Format(out, "server_request=CleanTrace(%ld)%s%s", TraceKind, e, kEnd);
                    break;
                case 36:
                    rc = Format(out, "server_request=GetConfigApps()%s%s", e, kEnd);
                    break;
                case 38:
                    rc = Format(out, "server_request=UserPwd(%s,%ld)%s%s", u.m_Password.c_str(),
                                u.m_ID, e, kEnd);
                    break;
                case 39:
                    rc = Format(out, "server_request=DSPwd(%ld,%s,%s)%s%s", d.m_ID,
                                d.m_UserName.c_str(), d.m_Password.c_str(), e, kEnd);
                    break;
                case 40:
                    rc = Format(out, "server_request=GetFiles(%ld,%s)%s%s", a.m_ID,
                                FolderPath.c_str(), e, kEnd);
                    break;
                case 41:
                    rc = Format(out, "server_request=GetAppUsers(%ld)%s%s", a.m_ID, e, kEnd);
                    break;
                case 42:
                    rc = Format(out, "server_request=SetAppUsers(%ld)%s&&&", a.m_ID, e);
                    if (rc == 0) rc = UserTable(a.AppUserList, extra);
                    break;
                default:
                    rc = Format(out, "server_request=?[)%s", kEnd);
                    break;
            }
            if (rc != 0) {
                m_ErrorText = "The command text is longer than 10000 characters!";
                return -1;
            }
            text.assign(out);
            return 0;
        },
        -1);
}
