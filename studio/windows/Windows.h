// The object windows as the shell sees them: one call at start-up registers their
// resources and window classes and installs the hooks through which the frame opens them.
#pragma once

namespace qvw {

void RegisterAll();

}  // namespace qvw
