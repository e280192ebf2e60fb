#pragma once

// The environment variable that names the programs' state folder (the
// update records, the settings backups: StateFolder), which a test points
// at a folder of its own.
#ifdef _WIN32
constexpr const char* STATE_FOLDER_VARIABLE = "LOCALAPPDATA";
#else
constexpr const char* STATE_FOLDER_VARIABLE = "XDG_STATE_HOME";
#endif
