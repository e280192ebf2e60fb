#include "StateFolder.h"

#include "FilePath.h"

#include <cstdlib>
#include <filesystem>

namespace ZORVI {

namespace {

namespace fs = std::filesystem;

constexpr char FOLDER[] = "zorvik";

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// The folder for state that programs keep between runs, or empty.
fs::path stateHome()
{
#ifdef _WIN32
    const std::string local = environment("LOCALAPPDATA");
    return local.empty() ? fs::path() : FilePath::of(local);
#else
    const fs::path state = FilePath::of(environment("XDG_STATE_HOME"));
    // The XDG rules say a relative value is to be ignored.
    if (!state.empty() && state.is_absolute())
        return state;
    const std::string home = environment("HOME");
    return home.empty() ? fs::path() : FilePath::of(home) / ".local" / "state";
#endif
}

} // namespace

std::string StateFolder::path()
{
    const fs::path home = stateHome();
    if (home.empty())
        return std::string();
    return FilePath::text(home / FOLDER);
}

const char* StateFolder::variables()
{
#ifdef _WIN32
    return "LOCALAPPDATA";
#else
    return "XDG_STATE_HOME or HOME";
#endif
}

} // namespace ZORVI
