// Shared set-up of the session tests: a clean process-wide state, a scripted server,
// captured message boxes, and temporary folders.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/net/tests/ScriptedServer.h"
#include "platform/os/Files.h"
#include "studio/session/ServerSession.h"

namespace session_test {

inline void ResetState() {
    AppList.Clear();
    MonitorAppList.Clear();
    ReqList.Clear();
    DSList.Clear();
    UserList.Clear();
    HtmlList.Clear();
    ImageList.Clear();
    DataList.Clear();
    FileList.Clear();
    CurrentApp.AppUserList.Clear();
    CurrentApp.AvailUserList.Clear();
    CurrentReq.ReqUserList.Clear();
    CurrentReq.AvailReqUserList.Clear();
    CurrentReq.ReqParamList.Clear();
    CurrentApp.m_Name.Clear();
    CurrentApp.m_Description.Clear();
    CurrentApp.m_ID = CurrentApp.m_SessionTimeout = 0;
    CurrentReq.m_Name.Clear();
    CurrentReq.m_ID = CurrentReq.m_DSID = CurrentReq.m_AppID = 0;
    CurrentReq.m_Language = CurrentReq.m_Access = 0;
    CurrentDS = CurrentDSRec{};
    CurrentUser = CurrentUserRec{};
    ServerConfig = ServerConfigRec{};
    ReqScript.Free();
    TraceText.Free();
    TraceKind = 0;
    LoginUserID = 0;
    TransferKind = 0;
    TransferFileName.Clear();
    TransferLocalPath.Clear();
    RenameNewName.Clear();
    FolderPath.Clear();
    Credentials = LoginCredentials{};
    Session.m_SessionID = 0;
    Session.m_Connected = 0;
    Session.SetTimeouts(kDefaultTimeoutMs, kDefaultTimeoutMs);
    Session.TakeResponse("", 0);
}

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "qv-session-XXXXXX").string();
        m_Path = ::mkdtemp(tmpl.data()) ? tmpl : "";
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_Path.empty()) std::filesystem::remove_all(m_Path, ignored);
    }
    std::string File(const std::string& name) const { return m_Path + "/" + name; }
    const std::string& Path() const { return m_Path; }

private:
    std::string m_Path;
};

inline std::string Slurp(const char* path) {
    std::string s;
    os::ReadWholeFile(path, s);
    return s;
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetState();
        SetReportHook([this](const char* text, const char* caption) {
            m_Reports.push_back(std::string(caption) + "|" + text);
        });
        Session.m_ServerAddress = net::MakeAddress(127, 0, 0, 1, m_Server.Port());
    }
    void TearDown() override {
        SetReportHook(nullptr);
        ResetState();
    }
    // Puts an answer into the session as if it had arrived whole.
    void Answer(const std::string& bytes) {
        Session.TakeResponse(bytes.data(), static_cast<long>(bytes.size()));
    }
    std::string Message() const {
        const Vessel& m = Session.m_Response.m_Message;
        return std::string(m.GetContent() ? m.GetContent() : "",
                           static_cast<std::size_t>(m.GetSize()));
    }

    testing_net::ScriptedServer m_Server;
    std::vector<std::string> m_Reports;
};

// The exact request for a body, with the cookie line when a session number is given.
inline std::string Request(const std::string& body, long session = 0) {
    std::string r = "DEV \r\n";
    if (session) r += "Cookie: jsessionid=" + std::to_string(session) + "\r\n";
    return r + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

inline std::string Table(const std::vector<std::vector<std::string>>& rows) {
    std::string t = "<table>";
    for (const auto& row : rows) {
        t += "<tr>";
        for (const auto& c : row) t += "<td>" + c + "</td>";
        t += "</tr>";
    }
    return t + "</table>";
}

}  // namespace session_test
