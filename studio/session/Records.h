// The studio's records of server objects, the process-wide lists that answers are
// parsed into, and the current records that commands take their arguments from.
#pragma once

#include <functional>
#include <string>

#include "common/FixedText.h"
#include "common/Lists.h"
#include "vessel/Vessel.h"

// Not-found codes, one per record kind.
inline constexpr int kAppNotFound = 132;
inline constexpr int kDSNotFound = 135;
inline constexpr int kUserNotFound = 140;
inline constexpr int kReqNotFound = 145;
inline constexpr int kFileNotFound = -1;
inline constexpr int kParamNotFound = 110;

struct UserItem {
    long m_ID = 0;
    FixedText<20> m_Name;
    FixedText<20> m_Password;  // empty in list records
    FixedText<50> m_Description;
    long m_Type = 0;  // 0 "Dev", 1 "Run"
};

using UserListType = PlainList<UserItem, kUserNotFound>;

struct AppItem {
    FixedText<50> m_Name;
    long m_ID = 0;
    FixedText<50> m_Description;
    long m_SessionsNow = 0;
    long m_SessionTimeout = 0;  // minutes
    long m_SessionsToday = 0;
    long m_SessionsMonth = 0;
    long m_SessionsTotal = 0;
    UserListType m_Users;
};

struct DateTimeRec {
    long m_Day = 0, m_Month = 0, m_Year = 0, m_Hour = 0, m_Minute = 0, m_Second = 0;
    FixedText<2> m_DayText;
    FixedText<2> m_MonthText;
    FixedText<4> m_YearText;
    FixedText<2> m_HourText;
    FixedText<2> m_MinuteText;
    FixedText<2> m_SecondText;
    FixedText<30> m_Text;  // the display text
};

using ParamListType = ParamList<ParamListItem, kParamNotFound>;

struct ReqItem {
    FixedText<50> m_Name;
    long m_ID = 0;
    long m_DSID = 0;
    long m_AppID = 0;
    long m_Language = 0;  // 1 SQL, 2 JAVA
    long m_Access = 0;    // 0 public, 1 private
    FixedText<50> m_Reserved;
    FixedText<50> m_DSName;  // looked up in DSList after the list was parsed
    DateTimeRec m_Modified;
    Vessel m_Script;
    ParamListType m_Params;
    UserListType m_Users;
};

struct DSItem {
    FixedText<50> m_Name;
    long m_ID = 0;
    FixedText<50> m_Description;
    FixedText<20> m_UserName;
    long m_Connections = 0;
};

struct FileItem {
    FixedText<99> m_Name;
    FixedText<20> m_Size;
    FixedText<30> m_Modified;
    FixedText<23> m_Kind;  // Files list only: "0" a file, "1" a folder
};

using AppListType = LockedList<AppItem, kAppNotFound>;
using ReqListType = LockedList<ReqItem, kReqNotFound>;
using DSListType = LockedList<DSItem, kDSNotFound>;
using FileListType = LockedList<FileItem, kFileNotFound>;

struct CurrentAppRec {
    FixedText<50> m_Name;
    long m_ID = 0;
    FixedText<50> m_Description;
    long m_SessionTimeout = 0;
    UserListType AppUserList;
    UserListType AvailUserList;
};

struct CurrentReqRec {
    FixedText<50> m_Name;
    long m_ID = 0;
    long m_DSID = 0;
    long m_AppID = 0;
    long m_Language = 0;
    long m_Access = 0;
    UserListType ReqUserList;
    UserListType AvailReqUserList;
    ParamListType ReqParamList;
};

struct CurrentDSRec {
    FixedText<50> m_Name;
    long m_ID = 0;
    FixedText<50> m_Description;
    long m_Connections = 0;
    FixedText<20> m_UserName;
    FixedText<20> m_Password;
};

struct CurrentUserRec {
    FixedText<20> m_Name;
    FixedText<20> m_Password;
    FixedText<50> m_Description;
    long m_ID = 0;
    long m_Type = 0;
};

struct ServerConfigRec {
    // The switches travel as the texts "1" and "0".
    FixedText<1> m_JavaReload;
    FixedText<1> m_SystemTrace;
    FixedText<1> m_AppTrace;
    FixedText<1> m_RunTrace;
    FixedText<50> m_ServerName;
    FixedText<50> m_HttpSessions;
    FixedText<50> m_Executing;
    FixedText<50> m_Version;
    FixedText<50> m_MemoryTotal;
    FixedText<50> m_MemoryAvailable;
    FixedText<50> m_MemoryUsed;
    FixedText<50> m_Date;
    FixedText<50> m_Time;
};

// Transfer kinds.
enum TransferKinds : int {
    kTransferHtml = 1,
    kTransferImage = 2,
    kTransferData = 3,
    kTransferRequest = 4,
    kTransferApp = 5,
    kTransferFiles = 6,
};

// ---- Process-wide state: constructed before any window, destroyed at exit. ----

extern AppListType AppList;
extern AppListType MonitorAppList;
extern ReqListType ReqList;
extern DSListType DSList;
extern UserListType UserList;
extern FileListType HtmlList;
extern FileListType ImageList;
extern FileListType DataList;
extern FileListType FileList;

extern CurrentAppRec CurrentApp;
extern CurrentReqRec CurrentReq;
extern CurrentDSRec CurrentDS;
extern CurrentUserRec CurrentUser;
// The member lists of the current records, by their own names.
extern UserListType& AppUserList;
extern UserListType& AvailUserList;
extern UserListType& ReqUserList;
extern UserListType& AvailReqUserList;
extern ParamListType& ReqParamList;

extern Vessel ReqScript;
extern Vessel TraceText;
extern long TraceKind;  // 0 CleanTrace; 1 Start, 2 System, 3 Application, 4 Run
extern ServerConfigRec ServerConfig;
extern long LoginUserID;  // 0: a user with full rights

// What the file commands read: the kind, the server-side name, the local path, the
// new name of a rename, the Files window's current folder, and the folder a delete or
// rename names (the one the acting window lists).
extern int TransferKind;
extern int TransferMode;
extern FixedText<1024> TransferFileName;
extern FixedText<1024> TransferLocalPath;
extern FixedText<1024> RenameNewName;
extern FixedText<1024> FolderPath;
extern FixedText<1024> FileFolder;

// The folder whose files a file window of that kind lists: the top (empty) for Htmls,
// "images" and "data" for Images and Data, FolderPath for Files.
std::string FolderOfKind(int kind);

// The file list that a transfer kind's answers refill (null for kinds 4 and 5), and
// the fetch code its answers are parsed with (25, 26, 27, 40; 7 requests, 3 apps).
FileListType* FileListOfKind(int kind);
int ListCodeOfKind(int kind);

// ---- Message boxes ----

// Where the session's message boxes go: the studio connects its own owned boxes, the
// command-line client keeps the default, which writes "caption: text" to stderr.
using ReportHook = std::function<void(const char* text, const char* caption)>;
void SetReportHook(ReportHook hook);
void Report(const char* text, const char* caption = "Quorvel Studio");
