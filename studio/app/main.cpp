// quorvelide: the composition root, above both the shell and the object windows, so that
// neither of their folders reaches into the other's: the windows install their classes
// and hooks into the shell, then the shell runs.
#include "studio/shell/Shell.h"
#include "studio/windows/Windows.h"

int main(int argc, char** argv) {
    qvw::RegisterAll();
    return shell::Run(argc, argv);
}
