// Arbitrary bytes as a configuration file or a profile file: the first byte picks the
// format, the rest is the file's content.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/os/Files.h"
#include "studio/shell/StudioSettings.h"

namespace {

// A start directory of the fuzzer's own, so the bare configuration name lands there.
const std::string& Folder() {
    static const std::string dir = [] {
        std::string t =
            (std::filesystem::temp_directory_path() / "qv-fuzz-settings-XXXXXX").string();
        if (!::mkdtemp(t.data()) || ::chdir(t.c_str()) != 0) std::abort();
        os::RecordStartDirectory();
        return t;
    }();
    return dir;
}

void CheckText(int v, const char* text) {
    char expect[24];
    std::snprintf(expect, sizeof expect, "%i", v);
    if (std::strcmp(expect, text) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool config = data[0] & 1;
    const std::string path = config ? std::string(kConfigFileName) : Folder() + "/fuzz.con";
    Folder();
    // A plain write: the fuzzer need not wait for the disk on every input.
    const std::string file = config ? Folder() + "/" + kConfigFileName : path;
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) return 0;
    const bool written = std::fwrite(data + 1, 1, size - 1, f) == size - 1;
    if (std::fclose(f) != 0 || !written) return 0;
    StudioSettings s;
    if (s.Load(path.c_str()) != 0) std::abort();
    if (config) {
        if (s.GetX() < 0 || s.GetX() > 1280 || s.GetY() < 0 || s.GetY() > 990) std::abort();
        if (s.GetWidth() < 0 || s.GetWidth() > 1280 || s.GetHeight() < 0 || s.GetHeight() > 990)
            std::abort();
        if (std::strlen(s.GetUpDownDir()) > 1024) std::abort();
    } else {
        // Every octet and the port that a file sets carry their own decimal text.
        const int ips[4] = {s.GetIp1(), s.GetIp2(), s.GetIp3(), s.GetIp4()};
        const char* texts[4] = {s.GetIp1Text(), s.GetIp2Text(), s.GetIp3Text(), s.GetIp4Text()};
        for (int i = 0; i < 4; ++i)
            if (*texts[i]) CheckText(ips[i], texts[i]);
        if (*s.GetPortText()) CheckText(s.GetPort(), s.GetPortText());
        if (std::strlen(s.GetName()) > 20 || std::strlen(s.GetUserName()) > 20) std::abort();
        // Written and read again: a file of its own making always reads.
        s.Save(path.c_str());
        StudioSettings again;
        if (again.Load(path.c_str()) != 0) std::abort();
        ProfileEntry entry;
        if (s.ReadProfileName(path.c_str(), entry) != 0) std::abort();
    }
    return 0;
}
