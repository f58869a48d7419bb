#include "studio/session/Records.h"

#include <cstdio>
#include <mutex>
#include <utility>

// One translation unit for all process-wide state, so it is constructed in this order
// before main and destroyed in reverse after it.
AppListType AppList;
AppListType MonitorAppList;
ReqListType ReqList;
DSListType DSList;
UserListType UserList;
FileListType HtmlList;
FileListType ImageList;
FileListType DataList;
FileListType FileList;

CurrentAppRec CurrentApp;
CurrentReqRec CurrentReq;
CurrentDSRec CurrentDS;
CurrentUserRec CurrentUser;
UserListType& AppUserList = CurrentApp.AppUserList;
UserListType& AvailUserList = CurrentApp.AvailUserList;
UserListType& ReqUserList = CurrentReq.ReqUserList;
UserListType& AvailReqUserList = CurrentReq.AvailReqUserList;
ParamListType& ReqParamList = CurrentReq.ReqParamList;

Vessel ReqScript;
Vessel TraceText;
long TraceKind = 0;
ServerConfigRec ServerConfig;
long LoginUserID = 0;

int TransferKind = 0;
int TransferMode = 0;
FixedText<1024> TransferFileName;
FixedText<1024> TransferLocalPath;
FixedText<1024> RenameNewName;
FixedText<1024> FolderPath;
FixedText<1024> FileFolder;

std::string FolderOfKind(int kind) {
    switch (kind) {
        case kTransferImage:
            return "images";
        case kTransferData:
            return "data";
        case kTransferFiles:
            return FolderPath.str();
        default:
            return {};
    }
}

FileListType* FileListOfKind(int kind) {
    switch (kind) {
        case kTransferHtml:
            return &HtmlList;
        case kTransferImage:
            return &ImageList;
        case kTransferData:
            return &DataList;
        case kTransferFiles:
            return &FileList;
        default:
            return nullptr;
    }
}

int ListCodeOfKind(int kind) {
    switch (kind) {
        case kTransferHtml:
            return 25;
        case kTransferImage:
            return 26;
        case kTransferData:
            return 27;
        case kTransferFiles:
            return 40;
        case kTransferRequest:
            return 7;
        case kTransferApp:
            return 3;
        default:
            return 0;
    }
}

namespace {

std::mutex& HookMutex() {
    static std::mutex m;
    return m;
}

ReportHook& Hook() {
    static ReportHook hook;
    return hook;
}

}  // namespace

void SetReportHook(ReportHook hook) {
    std::lock_guard<std::mutex> lock(HookMutex());
    Hook() = std::move(hook);
}

void Report(const char* text, const char* caption) {
    ReportHook hook;
    {
        // Copied out so that a box that stays open does not hold the lock.
        std::lock_guard<std::mutex> lock(HookMutex());
        hook = Hook();
    }
    if (hook) {
        hook(text ? text : "", caption ? caption : "");
        return;
    }
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
}
