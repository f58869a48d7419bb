// quorvelide: the composition root, above both the shell and the object windows, so that
// neither of their folders reaches into the other's: the windows install their classes
// and hooks into the shell, then the shell runs.
#include <cstdio>
#include <cstring>

#include "studio/shell/Shell.h"
#include "studio/windows/Windows.h"

namespace {

const char* const kUsage =
    "usage: quorvelide [--help | --version] [Qt options, e.g. -platform NAME]\n"
    "\n"
    "The Quorvel Studio: administers Quorvel application servers. It keeps its settings\n"
    "(quorvelide.cfg) and connection profiles (*.con) in the folder it starts in.\n"
    "\n"
    "options:\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before any window system is touched, so they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("quorvelide " QV_VERSION);
            return 0;
        }
    }
    qvw::RegisterAll();
    return shell::Run(argc, argv);
}
