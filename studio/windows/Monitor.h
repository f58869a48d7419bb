// The monitor (dialog 10): the server's applications with their login-session counts, its
// status and memory, the four switches, and its traces in the trace dialog (15).
#pragma once

#include <string>

#include "platform/gui/Gui.h"
#include "studio/session/Records.h"

namespace qvw {

// The connection the monitor names in its title and its address and port fields.
struct MonitorTarget {
    std::string profile;
    int ip[4] = {0, 0, 0, 0};
    int port = 0;
};

// Runs the monitor modally, owned by owner; returns how it ended (1 saved, 2 closed).
int RunMonitor(gui::Window owner, const MonitorTarget& target);

// The trace dialog over TraceText, titled by TraceKind; TraceText is emptied and its
// storage released when the dialog closes.
void ShowTrace(gui::Window owner);
std::string TraceTitle(long kind);

// An application's line: the name and description padded, never cut.
std::string MonitorLine(const AppItem& a);

}  // namespace qvw
