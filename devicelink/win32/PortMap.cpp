#include "PortMap.h"

#include "TerminalDrivers.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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

// Where the map is, and whether it can be used; `problem` says why not.
Place locate(std::string* mapDirectory, std::string& problem)
{
    const std::string xdg = xdgRuntimeDirectory();
    const std::string parent = xdg.empty() ? FALLBACK_PARENT : xdg;
    const std::string base = canonicalPath(parent);
    struct stat st;
    if (base.empty() || stat(base.c_str(), &st) != 0) {
        problem = parent + " does not exist";
        return Place::Missing;
    }
    // The runtime directory is the user's own; the shared temporary
    // directory only has to keep others from replacing our directory.
    const bool baseTrusted = xdg.empty()
        ? ancestorsAreSafe(base)
        : isPrivateDirectory(st) && ancestorsAreSafe(parentOf(base));
    if (!baseTrusted) {
        problem = parent + " (or a directory above it) may be changed by other users";
        return Place::Untrusted;
    }

    *mapDirectory = xdg.empty()
        ? base + "/" + FALLBACK_PREFIX + std::to_string(geteuid())
        : base + "/" + MAP_SUBDIRECTORY;
    if (lstat(mapDirectory->c_str(), &st) != 0) {
        const int error = errno;
        problem = *mapDirectory + ": " + std::strerror(error);
        return error == ENOENT ? Place::Missing : Place::Untrusted;
    }
    if (isPrivateDirectory(st))
        return Place::Trusted;
    problem = *mapDirectory + " is not a directory of this user that only this user may change";
    return Place::Untrusted;
}

constexpr uint32_t LAST_C0 = 0x1F;
constexpr uint32_t DEL = 0x7F;
constexpr uint32_t FIRST_C1 = 0x80;
constexpr uint32_t LAST_C1 = 0x9F;
constexpr uint32_t LAST_CODE_POINT = 0x10FFFF;
constexpr uint32_t FIRST_SURROGATE = 0xD800;
constexpr uint32_t LAST_SURROGATE = 0xDFFF;

bool isControl(uint32_t codePoint)
{
    return codePoint <= LAST_C0 || codePoint == DEL
        || (codePoint >= FIRST_C1 && codePoint <= LAST_C1);
}

// How many bytes the UTF-8 sequence that starts with `lead` has; 0 when
// no sequence starts with it.
size_t sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 0;
}

// The UTF-8 sequence at `at`: its code point and length; false when the
// bytes there are no well-formed sequence.
bool decodeUtf8(const std::string& text, size_t at, uint32_t& codePoint, size_t& length)
{
    static const uint32_t SMALLEST[] = {0, 0, 0x80, 0x800, 0x10000};
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    length = sequenceLength(lead);
    if (length == 0 || at + length > text.size())
        return false;
    codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80)
            return false;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    return codePoint >= SMALLEST[length] && codePoint <= LAST_CODE_POINT
        && (codePoint < FIRST_SURROGATE || codePoint > LAST_SURROGATE);
}

// Text a terminal shows as it is: UTF-8 without control characters, which
// could end a line of `zorvik ports` or move the cursor (the C1 set
// included: some terminals take U+009B as the start of a command).
bool isPlainText(const std::string& name)
{
    for (size_t at = 0; at < name.size();) {
        uint32_t codePoint = 0;
        size_t length = 0;
        if (!decodeUtf8(name, at, codePoint, length) || isControl(codePoint))
            return false;
        at += length;
    }
    return true;
}

bool isValidName(const std::string& name)
{
    return PortMap::nameProblem(name).empty();
}

std::string linkTarget(const std::string& linkPath)
{
    char target[PATH_MAX];
    const ssize_t length = readlink(linkPath.c_str(), target, sizeof target);
    if (length <= 0 || length >= static_cast<ssize_t>(sizeof target))
        return std::string();
    return std::string(target, static_cast<size_t>(length));
}

// A symbolic link whose target is a serial line.
bool isPortLink(const std::string& path, const TerminalDrivers& drivers)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && stat(path.c_str(), &st) == 0
        && S_ISCHR(st.st_mode) && drivers.isSerialLine(st.st_rdev);
}

// The entry's provider claimed it with a lock file and is gone: the kernel
// drops a lock with its holder, however it ends.
bool providerIsGone(const std::string& mapDirectory, const std::string& name)
{
    const std::string lockPath = mapDirectory + "/" + PortMap::lockFileName(name);
    const int fd = open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Taken and dropped at once: a shared lock only shows whether the
    // provider's exclusive one is still there.
    const bool unheld = flock(fd, LOCK_SH | LOCK_NB) == 0;
    close(fd);
    return unheld;
}

// Unique without the entry's name, which may already use all of NAME_MAX.
std::string temporaryLinkName(const std::string& directory)
{
    static std::atomic<unsigned> counter{0};
    return directory + "/.new." + std::to_string(getpid()) + "." + std::to_string(counter++);
}

} // namespace

std::string PortMap::directory(bool create, std::string* problem)
{
    std::string mapDirectory;
    std::string why;
    Place place = locate(&mapDirectory, why);
    if (place == Place::Missing && create && !mapDirectory.empty()) {
        // Another program may create it at the same time; either way the
        // result is checked again.
        const int error = mkdir(mapDirectory.c_str(), 0700) == 0 ? 0 : errno;
        if (error != 0 && error != EEXIST)
            why = "cannot create " + mapDirectory + ": " + std::strerror(error);
        else
            place = locate(&mapDirectory, why);
    }
    if (place == Place::Trusted)
        return mapDirectory;
    if (problem)
        *problem = why;
    return std::string();
}

std::string PortMap::nameProblem(const std::string& name)
{
    if (name.empty())
        return "the name is empty";
    if (name.size() > LONGEST_NAME)
        return "the name is longer than " + std::to_string(LONGEST_NAME) + " characters";
    if (name[0] == '.')
        return "the name starts with '.'";
    if (name.find('/') != std::string::npos)
        return "the name contains '/'";
    if (!isPlainText(name))
        return "the name contains control characters or is not UTF-8 text";
    return std::string();
}

bool PortMap::add(const std::string& name, const std::string& deviceNode)
{
    if (!isValidName(name) || deviceNode.empty() || deviceNode[0] != '/')
        return false;
    const std::string mapDirectory = directory(true);
    if (mapDirectory.empty())
        return false;
    // A reader sees either the old entry or the new one, never none.
    const std::string temporary = temporaryLinkName(mapDirectory);
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
    std::string problem;
    const Place place = locate(&mapDirectory, problem);
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

// One pass over the directory; an entry costs one stat of its target (the
// directory says which entries are links).
std::vector<std::string> PortMap::entries()
{
    std::vector<std::string> names;
    const std::string mapDirectory = directory(false);
    if (mapDirectory.empty())
        return names;
    DIR* dir = opendir(mapDirectory.c_str());
    if (!dir)
        return names;
    const TerminalDrivers drivers = TerminalDrivers::load();
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (!isValidName(name) || (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN))
            continue;
        const std::string path = mapDirectory + "/" + name;
        struct stat st;
        if (entry->d_type == DT_UNKNOWN && (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)))
            continue;
        if (stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && drivers.isSerialLine(st.st_rdev)
            && !providerIsGone(mapDirectory, name))
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
    if (!isPortLink(path, TerminalDrivers::load()) || providerIsGone(mapDirectory, name))
        return std::string();
    std::string target = linkTarget(path);
    if (!target.empty() && target[0] != '/')
        target = mapDirectory + "/" + target;
    return target;
}

std::string PortMap::lockFileName(const std::string& name)
{
    return "." + name + ".lock";
}

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
