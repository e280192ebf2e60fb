#include "FileBytes.h"

#include "FilePath.h"

#include <filesystem>
#include <new>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ZORVI {

namespace {

using Problem = FileBytes::Problem;

constexpr size_t READ_CHUNK = 64u * 1024u;

// Appends a chunk read from the file; TooLarge once the file outgrows the
// limit. The size taken when the file was opened may already be stale, so
// the bytes themselves are counted.
Problem appendChunk(std::string& bytes, const char* chunk, size_t count, size_t maxSize)
{
    if (bytes.size() + count > maxSize)
        return Problem::TooLarge;
    bytes.append(chunk, count);
    return Problem::None;
}

#ifdef _WIN32

// The opened file is checked again: another program may have put something
// else under the name since it was looked at.
Problem readOpened(HANDLE file, size_t maxSize, std::string& bytes)
{
    if (GetFileType(file) != FILE_TYPE_DISK)
        return Problem::NotRegularFile;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        return Problem::Unreadable;
    if (static_cast<unsigned long long>(size.QuadPart) > maxSize)
        return Problem::TooLarge;
    std::string chunk(READ_CHUNK, '\0');
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(file, &chunk[0], static_cast<DWORD>(chunk.size()), &count, nullptr))
            return Problem::Unreadable;
        if (count == 0)
            return Problem::None;
        const Problem problem = appendChunk(bytes, chunk.data(), count, maxSize);
        if (problem != Problem::None)
            return problem;
    }
}

Problem readWhole(const std::string& path, size_t maxSize, std::string& bytes)
{
    // Others may go on reading, writing, renaming or deleting the file: what
    // is read here is kept, whatever they do.
    const HANDLE file = CreateFileW(FilePath::of(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Problem::Unreadable;
    const Problem problem = readOpened(file, maxSize, bytes);
    CloseHandle(file);
    return problem;
}

#else

// The opened file is checked again: another program may have put a FIFO or
// a device under the name since it was looked at.
Problem readOpened(int descriptor, size_t maxSize, std::string& bytes)
{
    struct stat info;
    if (fstat(descriptor, &info) != 0)
        return Problem::Unreadable;
    if (S_ISDIR(info.st_mode))
        return Problem::Folder;
    if (!S_ISREG(info.st_mode))
        return Problem::NotRegularFile;
    if (static_cast<unsigned long long>(info.st_size) > maxSize)
        return Problem::TooLarge;
    std::string chunk(READ_CHUNK, '\0');
    for (;;) {
        const ssize_t count = ::read(descriptor, &chunk[0], chunk.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return Problem::Unreadable;
        if (count == 0)
            return Problem::None;
        const Problem problem =
            appendChunk(bytes, chunk.data(), static_cast<size_t>(count), maxSize);
        if (problem != Problem::None)
            return problem;
    }
}

Problem readWhole(const std::string& path, size_t maxSize, std::string& bytes)
{
    // Should a FIFO have taken the name's place after all, O_NONBLOCK makes
    // the open return at once instead of waiting for a writer; a terminal
    // never becomes this program's controlling terminal.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return Problem::Unreadable;
    const Problem problem = readOpened(descriptor, maxSize, bytes);
    ::close(descriptor);
    return problem;
}

#endif

} // namespace

// Only the file system's entry is looked at, the file is not opened.
FileBytes::Problem FileBytes::problemOfPath(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(FilePath::of(path), error);
    if (status.type() == fs::file_type::not_found)
        return Problem::NotFound;
    if (error)
        return Problem::Unreadable;
    if (status.type() == fs::file_type::directory)
        return Problem::Folder;
    if (status.type() != fs::file_type::regular)
        return Problem::NotRegularFile;
    return Problem::None;
}

FileBytes::Problem FileBytes::read(const std::string& path, size_t maxSize, std::string* bytes)
{
    const Problem pathProblem = problemOfPath(path);
    if (pathProblem != Problem::None)
        return pathProblem;
    bytes->clear();
    try {
        return readWhole(path, maxSize, *bytes);
    } catch (const std::bad_alloc&) {
        return Problem::Unreadable;
    }
}

} // namespace ZORVI
