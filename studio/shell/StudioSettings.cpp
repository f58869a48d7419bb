#include "studio/shell/StudioSettings.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/Files.h"

namespace {

// A settings file is a few lines; anything larger is not one and is not held.
constexpr int64_t kMaxFileSize = 16 * 1024 * 1024;

// A bare name lives in the start directory.
std::string Resolve(const char* fileName) {
    if (std::strchr(fileName, os::kPathSeparator)) return fileName;
    return os::JoinPath({os::GetStartDirectory(), fileName});
}

bool IsConfig(const char* fileName) {
    return std::strcmp(fileName, kConfigFileName) == 0;
}

// As atol: leading blanks, an optional sign, digits to the first other character; 0
// without digits. Saturates at the 32-bit range.
int ToInt(std::string_view t) {
    std::size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || (t[i] >= '\t' && t[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    long long v = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
        v = v * 10 + (t[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) v = -v;
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    return static_cast<int>(v);
}

int InRange(int v, int low, int high, int otherwise) {
    return (v >= low && v <= high) ? v : otherwise;
}

// One line holds one value: a value that carries a line end is cut there, so that it
// cannot add lines (keys) to the file that the next load would read.
void AddLine(std::string& out, const char* key, std::string_view value) {
    out += key;
    out += value.substr(0, value.find_first_of("\r\n"));
    out += "\r\n";
}

}  // namespace

void StudioSettings::SetNumber(int& number, FixedText<20>& text, int v) {
    number = v;
    std::snprintf(text.data(), text.capacity(), "%i", v);
}

void StudioSettings::ResetConnection() {
    m_Name.Clear();
    for (int i = 0; i < 4; ++i) {
        m_Ip[i] = 0;
        m_IpText[i].Clear();
    }
    m_Port = 0;
    m_PortText.Clear();
    m_UserName.Clear();
    m_UserPassword.Clear();
    m_SshHost.Clear();
}

int StudioSettings::ReadIntoScratch(const char* fileName) {
    m_Scratch.Free();
    if (!fileName || !*fileName) return -1;
    std::unique_ptr<char[]> data;
    int64_t size = 0;
    if (os::ReadWholeFile(Resolve(fileName).c_str(), data, size, kMaxFileSize) != 0) return -1;
    if (m_Scratch.Alloc(1000, 5000) != 0) return -1;
    if (size > 0 && m_Scratch.AddContent(data.get(), static_cast<long>(size)) != 0) {
        m_Scratch.Free();
        return -1;
    }
    return 0;
}

bool StudioSettings::Value(const char* key, const char** value, long* length) const {
    long pos = 0;
    if (m_Scratch.GetSize() == 0 || !m_Scratch.Contains(key, &pos, 0)) return false;
    const char* s = m_Scratch.GetContent();
    const long size = m_Scratch.GetSize();
    long begin = pos + static_cast<long>(std::strlen(key));
    long end = begin;
    while (end < size && s[end] != '\r' && s[end] != '\n') ++end;
    *value = s + begin;
    *length = end - begin;
    return true;
}

int StudioSettings::Load(const char* fileName) {
    if (ReadIntoScratch(fileName) != 0) return -1;
    ResetConnection();
    const char* v = nullptr;
    long n = 0;
    auto text = [&]() { return std::string_view(v, static_cast<std::size_t>(n)); };
    if (IsConfig(fileName)) {
        if (Value("UpDownDir=", &v, &n)) m_UpDownDir = text();
        if (Value("x=", &v, &n)) m_X = InRange(ToInt(text()), 0, 1280, 0);
        if (Value("y=", &v, &n)) m_Y = InRange(ToInt(text()), 0, 990, 0);
        if (Value("w=", &v, &n)) m_Width = InRange(ToInt(text()), 1, 1280, 1280);
        if (Value("h=", &v, &n)) m_Height = InRange(ToInt(text()), 1, 990, 990);
    } else {
        if (Value("Name=", &v, &n)) m_Name = text();
        const char* ipKeys[4] = {"IP1=", "IP2=", "IP3=", "IP4="};
        for (int i = 0; i < 4; ++i)
            if (Value(ipKeys[i], &v, &n)) SetNumber(m_Ip[i], m_IpText[i], ToInt(text()));
        if (Value("Port=", &v, &n)) SetNumber(m_Port, m_PortText, ToInt(text()));
        if (Value("UserName=", &v, &n)) m_UserName = text();
        if (Value("UserPwd=", &v, &n)) m_UserPassword = text();
        if (Value("SshHost=", &v, &n)) m_SshHost = text();
    }
    m_Scratch.Free();
    return 0;
}

int StudioSettings::Save(const char* fileName) {
    if (!fileName || !*fileName) return 0;
    std::string out;
    char number[24];
    if (IsConfig(fileName)) {
        if (m_ExitX == m_X && m_ExitY == m_Y && m_ExitWidth == m_Width && m_ExitHeight == m_Height)
            return 0;
        AddLine(out, "UpDownDir=", m_UpDownDir.view());
        const int values[4] = {m_ExitX, m_ExitY, m_ExitWidth, m_ExitHeight};
        const char* keys[4] = {"x=", "y=", "w=", "h="};
        for (int i = 0; i < 4; ++i) {
            std::snprintf(number, sizeof number, "%i", values[i]);
            AddLine(out, keys[i], number);
        }
    } else {
        AddLine(out, "Name=", m_Name.view());
        const char* ipKeys[4] = {"IP1=", "IP2=", "IP3=", "IP4="};
        for (int i = 0; i < 4; ++i) AddLine(out, ipKeys[i], m_IpText[i].view());
        AddLine(out, "Port=", m_PortText.view());
        AddLine(out, "UserName=", m_UserName.view());
        AddLine(out, "UserPwd=", "");  // the password never goes to a file
        // Only when set, so a profile without it is written as older versions wrote it.
        if (!m_SshHost.empty()) AddLine(out, "SshHost=", m_SshHost.view());
    }
    os::ReplaceFile(Resolve(fileName).c_str(), out);
    return 0;
}

int StudioSettings::ReadProfileName(const char* fileName, ProfileEntry& entry) {
    if (ReadIntoScratch(fileName) != 0) return -1;
    const char* v = nullptr;
    long n = 0;
    if (Value("Name=", &v, &n)) entry.m_Name = std::string_view(v, static_cast<std::size_t>(n));
    if (Value("SshHost=", &v, &n))
        entry.m_SshHost = std::string_view(v, static_cast<std::size_t>(n));
    m_Scratch.Free();
    return 0;
}

void StudioSettings::ListProfiles() {
    std::vector<os::DirEntry> entries;
    if (os::ListDirectory(os::GetStartDirectory().c_str(), entries) != 0) return;
    for (const os::DirEntry& e : entries) {
        const std::string& name = e.name;
        if (e.isDirectory || name.size() < 4 || name.compare(name.size() - 4, 4, ".con") != 0)
            continue;
        // A name longer than the entry holds would be cut into the name of another file.
        if (name.size() > decltype(ProfileEntry::m_FileName)::kWidth) continue;
        ProfileEntry* entry = nullptr;
        if (m_Profiles.Add(&entry) != kListOk || !entry) continue;
        // The entry stays listed with an empty name when its file cannot be read.
        ReadProfileName(name.c_str(), *entry);
        entry->m_FileName = name;
    }
}

const char* StudioSettings::GetProfileFileName(int commandId, char* out) {
    if (!out) return out;
    out[0] = '\0';
    // An id below the first one is no entry (and must not overflow the subtraction).
    if (commandId < kFirstProfileCommand) return out;
    ProfileEntry* entry = nullptr;
    if (m_Profiles.GetAt(commandId - kFirstProfileCommand, &entry) == kListOk && entry)
        std::snprintf(out, 101, "%s", entry->m_FileName.c_str());
    return out;
}
