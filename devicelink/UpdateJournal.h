#pragma once

#include <cstdint>
#include <string>

namespace ZORVI {

// A record of each firmware update, one line per update appended to
// updates.log in the programs' state folder (StateFolder:
// $XDG_STATE_HOME/zorvik/, default ~/.local/state/zorvik/; on Windows
// %LOCALAPPDATA%\zorvik\), so that a pilot or the support can tell
// later what went into which device, from which file, and how it ended.
class UpdateJournal {
public:
    struct Entry {
        std::string port;
        std::string fileName;
        std::string sha256;
        std::string fileVersions;   // e.g. "application 3.1.8, data 1.3, hardware 8.x"
        std::string deviceBefore;   // e.g. "application 3.1.7, data 1.2, hardware 8.2",
                                    // "recovery mode, hardware 8.1" or "none"
        std::string deviceAfter;
        uint32_t recordsSent = 0;
        uint32_t recordsTotal = 0;
        std::string outcome;        // "done", "failed", "versions differ", ...
        std::string reason;         // empty when done
        std::string backup;         // the settings backup made before it
                                    // (SettingsBackup); empty when none
    };

    // Where the lines go; empty when no folder for it is known.
    static std::string path();
    // The environment that names that folder, for the sentence saying that
    // none is known: "XDG_STATE_HOME or HOME", on Windows "LOCALAPPDATA".
    static const char* folderVariables();
    // Appends one line, with the time (UTC, ISO 8601) in front; creates the
    // folders. False when it could not be written.
    static bool append(const Entry& entry);
};

} // namespace ZORVI
