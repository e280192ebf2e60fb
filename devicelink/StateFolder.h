#pragma once

#include <string>

namespace ZORVI {

// The folder where the programs keep what they remember between runs (the
// record of updates, the settings backups): $XDG_STATE_HOME/zorvik (default
// ~/.local/state/zorvik; on Windows %LOCALAPPDATA%\zorvik). One lookup for
// all of them, so that they always lie side by side. No Qt.
class StateFolder {
public:
    // The folder, not created; empty when no folder for it is known.
    static std::string path();
    // The environment that names that folder, for the sentence saying that
    // none is known: "XDG_STATE_HOME or HOME", on Windows "LOCALAPPDATA".
    static const char* variables();
};

} // namespace ZORVI
