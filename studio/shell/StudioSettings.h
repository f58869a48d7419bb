// The studio's settings: the current connection, the upload/download folder, the frame
// placement and the connection profiles, with the configuration file "quorvelide.cfg"
// and the profile files "*.con". No windowing here; quorvel-cli reads profiles with it.
#pragma once

#include "common/FixedText.h"
#include "common/Lists.h"
#include "vessel/Vessel.h"

struct ProfileEntry {
    FixedText<100> m_Name;      // "Name=" of the file; empty when it could not be read
    FixedText<100> m_FileName;  // as found, without folder
    FixedText<255> m_SshHost;   // "SshHost=" of the file
};

using ProfileList = LockedList<ProfileEntry>;

// The configuration file's own name; any other name is a profile.
inline constexpr const char* kConfigFileName = "quorvelide.cfg";
// Toolbar command ids of the profile buttons start here.
inline constexpr int kFirstProfileCommand = 400;

class StudioSettings {
public:
    StudioSettings() = default;
    StudioSettings(const StudioSettings&) = delete;
    StudioSettings& operator=(const StudioSettings&) = delete;

    // A bare name is relative to the start directory. 0, or -1 when the file cannot be
    // read (no field changes then).
    int Load(const char* fileName);
    // Always 0; failures to write are not reported. The configuration file is left
    // untouched when the placement did not change.
    int Save(const char* fileName);

    void ResetConnection();
    void SetName(const char* text) { m_Name = text; }
    void SetUserName(const char* text) { m_UserName = text; }
    void SetUserPassword(const char* text) { m_UserPassword = text; }
    void SetUpDownDir(const char* text) { m_UpDownDir = text; }
    // "[user@]host[:port]" of the SSH host the server is reached through; empty: none.
    void SetSshHost(const char* text) { m_SshHost = text; }
    void SetIp1(int v) { SetNumber(m_Ip[0], m_IpText[0], v); }
    void SetIp2(int v) { SetNumber(m_Ip[1], m_IpText[1], v); }
    void SetIp3(int v) { SetNumber(m_Ip[2], m_IpText[2], v); }
    void SetIp4(int v) { SetNumber(m_Ip[3], m_IpText[3], v); }
    void SetPort(int v) { SetNumber(m_Port, m_PortText, v); }
    void SetFramePlacement(int x, int y, int width, int height) {
        m_ExitX = x;
        m_ExitY = y;
        m_ExitWidth = width;
        m_ExitHeight = height;
    }

    const char* GetName() const { return m_Name; }
    int GetIp1() const { return m_Ip[0]; }
    int GetIp2() const { return m_Ip[1]; }
    int GetIp3() const { return m_Ip[2]; }
    int GetIp4() const { return m_Ip[3]; }
    int GetPort() const { return m_Port; }
    const char* GetIp1Text() const { return m_IpText[0]; }
    const char* GetIp2Text() const { return m_IpText[1]; }
    const char* GetIp3Text() const { return m_IpText[2]; }
    const char* GetIp4Text() const { return m_IpText[3]; }
    const char* GetPortText() const { return m_PortText; }
    const char* GetUserName() const { return m_UserName; }
    const char* GetUserPassword() const { return m_UserPassword; }
    const char* GetUpDownDir() const { return m_UpDownDir; }
    const char* GetSshHost() const { return m_SshHost; }
    int GetX() const { return m_X; }
    int GetY() const { return m_Y; }
    int GetWidth() const { return m_Width; }
    int GetHeight() const { return m_Height; }

    // Lists the "*.con" files of the start directory, each with its profile name.
    void ListProfiles();
    // Sets only the entry's name. 0, or -1 when the file cannot be read.
    int ReadProfileName(const char* fileName, ProfileEntry& entry);
    // The file name of the entry with index commandId - 400 into out (room for 101
    // characters); empty when there is none.
    const char* GetProfileFileName(int commandId, char* out);
    void ClearProfiles() { m_Profiles.Clear(); }
    ProfileList& Profiles() { return m_Profiles; }

private:
    static void SetNumber(int& number, FixedText<20>& text, int v);
    // Reads the file into the scratch buffer; -1 when it cannot be read.
    int ReadIntoScratch(const char* fileName);
    // The value after the first occurrence of key, up to CR, LF or the end.
    bool Value(const char* key, const char** value, long* length) const;

    FixedText<20> m_Name;
    int m_Ip[4] = {0, 0, 0, 0};
    FixedText<20> m_IpText[4];
    int m_Port = 0;
    FixedText<20> m_PortText;
    FixedText<20> m_UserName;
    FixedText<20> m_UserPassword;  // never written to a file
    FixedText<255> m_SshHost;
    FixedText<1024> m_UpDownDir;
    int m_X = 0, m_Y = 0, m_Width = 0, m_Height = 0;                  // as read
    int m_ExitX = 0, m_ExitY = 0, m_ExitWidth = 0, m_ExitHeight = 0;  // at exit
    Vessel m_Scratch;
    ProfileList m_Profiles;
};
