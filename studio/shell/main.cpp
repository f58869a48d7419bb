// quorvelide: the composition root. The object windows, when built, install their classes
// and hooks before the shell starts.
#include "studio/shell/Shell.h"

#ifdef QV_HAVE_WINDOWS
#include "studio/windows/Windows.h"
#endif

int main(int argc, char** argv) {
#ifdef QV_HAVE_WINDOWS
    qvw::RegisterAll();
#endif
    return shell::Run(argc, argv);
}
