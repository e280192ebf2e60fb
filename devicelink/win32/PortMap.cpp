#include "PortMap.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ZORVI {
namespace Communication {
namespace Serial {

namespace {

constexpr const char* MAP_SUBDIRECTORY = "serialcomm";
// Without XDG_RUNTIME_DIR every program of the user must still find the same
// map, whatever its environment, so the place is fixed.
constexpr const char* FALLBACK_PARENT = "/tmp";
constexpr const char* FALLBACK_PREFIX = "zorvik-serialcomm-";

enum class Place { Trusted, Missing, Untrusted };

bool writableByOthers(const struct stat& st)
{
    return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// A directory only we may change: ours, a real directory, no group or other
// write permission.
bool isPrivateDirectory(const struct stat& st)
{
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && !writableByOthers(st);
}

// A directory above the map: owned by root or by us, and where others may
// write into it, the sticky bit keeps them from replacing our entry.
bool isSafeAncestor(const struct stat& st)
{
    if (!S_ISDIR(st.st_mode))
        return false;
    if (st.st_uid != 0 && st.st_uid != geteuid())
        return false;
    return !writableByOthers(st) || (st.st_mode & S_ISVTX) != 0;
}

std::string parentOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// Checks every directory from `path` up to the root (path is canonical).
bool ancestorsAreSafe(std::string path)
{
    for (;;) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0 || !isSafeAncestor(st))
            return false;
        if (path == "/")
            return true;
        path = parentOf(path);
    }
}

std::string canonicalPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// The user's runtime directory, when the environment names a usable one.
// A relative value is invalid and ignored, as if it were not set.
std::string xdgRuntimeDirectory()
{
    const char* value = std::getenv("XDG_RUNTIME_DIR");
    if (!value || value[0] != '/')
        return std::string();
    return value;
}

// Where the map is, and whether it can be used.
Place locate(std::string* mapDirectory)
{
    const std::string xdg = xdgRuntimeDirectory();
    const std::string base = canonicalPath(xdg.empty() ? FALLBACK_PARENT : xdg);
    if (base.empty())
        return Place::Missing;
    struct stat st;
    if (stat(base.c_str(), &st) != 0)
        return Place::Missing;
    // The runtime directory is the user's own; the shared temporary
    // directory only has to keep others from replacing our directory.
    const bool baseTrusted = xdg.empty()
        ? ancestorsAreSafe(base)
        : isPrivateDirectory(st) && ancestorsAreSafe(parentOf(base));
    if (!baseTrusted)
        return Place::Untrusted;

    *mapDirectory = xdg.empty()
        ? base + "/" + FALLBACK_PREFIX + std::to_string(geteuid())
        : base + "/" + MAP_SUBDIRECTORY;
    if (lstat(mapDirectory->c_str(), &st) != 0)
        return errno == ENOENT ? Place::Missing : Place::Untrusted;
    return isPrivateDirectory(st) ? Place::Trusted : Place::Untrusted;
}

// Entry names are plain file names; names starting with a dot are kept for
// the temporary links of add().
bool isValidName(const std::string& name)
{
    return !name.empty() && name.size() <= NAME_MAX && name[0] != '.'
        && name.find('/') == std::string::npos;
}

std::string linkTarget(const std::string& linkPath)
{
    char target[PATH_MAX];
    const ssize_t length = readlink(linkPath.c_str(), target, sizeof target);
    if (length <= 0 || length >= static_cast<ssize_t>(sizeof target))
        return std::string();
    return std::string(target, static_cast<size_t>(length));
}

bool isLiveLink(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && stat(path.c_str(), &st) == 0;
}

std::string temporaryLinkName(const std::string& directory, const std::string& name)
{
    static std::atomic<unsigned> counter{0};
    return directory + "/." + name + "." + std::to_string(getpid()) + "."
        + std::to_string(counter++);
}

} // namespace

std::string PortMap::directory(bool create)
{
    std::string mapDirectory;
    Place place = locate(&mapDirectory);
    if (place == Place::Missing && create && !mapDirectory.empty()) {
        // Another program may create it at the same time; either way the
        // result is checked again.
        mkdir(mapDirectory.c_str(), 0700);
        place = locate(&mapDirectory);
    }
    return place == Place::Trusted ? mapDirectory : std::string();
}

bool PortMap::add(const std::string& name, const std::string& deviceNode)
{
    if (!isValidName(name) || deviceNode.empty() || deviceNode[0] != '/')
        return false;
    const std::string mapDirectory = directory(true);
    if (mapDirectory.empty())
        return false;
    // A reader sees either the old entry or the new one, never none.
    const std::string temporary = temporaryLinkName(mapDirectory, name);
    unlink(temporary.c_str());
    if (symlink(deviceNode.c_str(), temporary.c_str()) != 0)
        return false;
    if (rename(temporary.c_str(), (mapDirectory + "/" + name).c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool PortMap::remove(const std::string& name)
{
    if (!isValidName(name))
        return false;
    std::string mapDirectory;
    const Place place = locate(&mapDirectory);
    if (place == Place::Missing)
        return true;
    if (place == Place::Untrusted)
        return false;
    const std::string path = mapDirectory + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISLNK(st.st_mode))
        return false;
    return unlink(path.c_str()) == 0 || errno == ENOENT;
}

std::vector<std::string> PortMap::entries()
{
    std::vector<std::string> names;
    const std::string mapDirectory = directory(false);
    if (mapDirectory.empty())
        return names;
    DIR* dir = opendir(mapDirectory.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (isValidName(name) && isLiveLink(mapDirectory + "/" + name))
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string PortMap::resolve(const std::string& name)
{
    if (!isValidName(name))
        return std::string();
    const std::string mapDirectory = directory(false);
    if (mapDirectory.empty())
        return std::string();
    const std::string path = mapDirectory + "/" + name;
    if (!isLiveLink(path))
        return std::string();
    std::string target = linkTarget(path);
    if (!target.empty() && target[0] != '/')
        target = mapDirectory + "/" + target;
    return target;
}

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
