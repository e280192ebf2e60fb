#pragma once

#include <QString>

namespace ZORVI {

// The folder of the sample files shipped for trying the programs with the
// simulated device (the updater's sample update file): zorvik/samples in
// the data folders, found from the program's own place first (an installed
// program's ../share, the same in a build tree), then where the desktop
// keeps data (XDG_DATA_HOME, XDG_DATA_DIRS).
class SampleFolder {
public:
    static constexpr const char* RELATIVE_PATH = "zorvik/samples";

    // The folder's absolute path, or empty when there is none.
    static QString find();
};

} // namespace ZORVI
