#include "UpdateFile.h"

#include "Sha256.h"

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

using Refusal = UpdateFile::Refusal;

// An update file holds at most Update::MAX_VALUES values of two digits and
// a separator each; a file many times that size is no update file, and
// reading it whole would only take the memory.
constexpr size_t MAX_FILE_SIZE = 16u * 1024u * 1024u;
constexpr size_t READ_CHUNK = 64u * 1024u;

void setRefusal(Refusal* refusal, Refusal value)
{
    if (refusal)
        *refusal = value;
}

// Why the path cannot be opened as a file, or None. Only the file system's
// entry is looked at: a FIFO or a device is never opened, as opening or
// reading one can block for as long as nothing writes to it (and opening a
// serial port changes its modem lines).
Refusal refusalOfPath(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(fs::path(path), error);
    if (status.type() == fs::file_type::not_found)
        return Refusal::NotFound;
    if (error)
        return Refusal::Unreadable;
    if (status.type() != fs::file_type::regular)
        return Refusal::NotRegularFile;
    return Refusal::None;
}

// Appends a chunk read from the file; TooLarge once the file outgrows any
// update file. The size taken when the file was opened may already be
// stale, so the bytes themselves are counted.
Refusal appendChunk(std::string& bytes, const char* chunk, size_t count)
{
    if (bytes.size() + count > MAX_FILE_SIZE)
        return Refusal::TooLarge;
    bytes.append(chunk, count);
    return Refusal::None;
}

#ifdef _WIN32

// The opened file is checked again: another program may have put something
// else under the name since it was looked at.
Refusal readOpened(HANDLE file, std::string& bytes)
{
    if (GetFileType(file) != FILE_TYPE_DISK)
        return Refusal::NotRegularFile;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        return Refusal::Unreadable;
    if (static_cast<unsigned long long>(size.QuadPart) > MAX_FILE_SIZE)
        return Refusal::TooLarge;
    std::string chunk(READ_CHUNK, '\0');
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(file, &chunk[0], static_cast<DWORD>(chunk.size()), &count, nullptr))
            return Refusal::Unreadable;
        if (count == 0)
            return Refusal::None;
        const Refusal refusal = appendChunk(bytes, chunk.data(), count);
        if (refusal != Refusal::None)
            return refusal;
    }
}

Refusal readWhole(const std::string& path, std::string& bytes)
{
    // Others may go on reading, writing, renaming or deleting the file: what
    // is read here is kept, whatever they do.
    const HANDLE file = CreateFileW(std::filesystem::path(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Refusal::Unreadable;
    const Refusal refusal = readOpened(file, bytes);
    CloseHandle(file);
    return refusal;
}

#else

// The opened file is checked again: another program may have put a FIFO or
// a device under the name since it was looked at.
Refusal readOpened(int descriptor, std::string& bytes)
{
    struct stat info;
    if (fstat(descriptor, &info) != 0)
        return Refusal::Unreadable;
    if (!S_ISREG(info.st_mode))
        return Refusal::NotRegularFile;
    if (static_cast<unsigned long long>(info.st_size) > MAX_FILE_SIZE)
        return Refusal::TooLarge;
    std::string chunk(READ_CHUNK, '\0');
    for (;;) {
        const ssize_t count = ::read(descriptor, &chunk[0], chunk.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return Refusal::Unreadable;
        if (count == 0)
            return Refusal::None;
        const Refusal refusal = appendChunk(bytes, chunk.data(), static_cast<size_t>(count));
        if (refusal != Refusal::None)
            return refusal;
    }
}

Refusal readWhole(const std::string& path, std::string& bytes)
{
    // Should a FIFO have taken the name's place after all, O_NONBLOCK makes
    // the open return at once instead of waiting for a writer; a terminal
    // never becomes this program's controlling terminal.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return Refusal::Unreadable;
    const Refusal refusal = readOpened(descriptor, bytes);
    ::close(descriptor);
    return refusal;
}

#endif

} // namespace

std::unique_ptr<UpdateFile> UpdateFile::load(const std::string& path, Refusal* refusal)
{
    setRefusal(refusal, Refusal::None);
    const Refusal pathRefusal = refusalOfPath(path);
    if (pathRefusal != Refusal::None) {
        setRefusal(refusal, pathRefusal);
        return nullptr;
    }

    std::unique_ptr<UpdateFile> file(new (std::nothrow) UpdateFile);
    if (!file) {
        setRefusal(refusal, Refusal::Unreadable);
        return nullptr;
    }
    file->m_path = path;
    try {
        const Refusal readRefusal = readWhole(path, file->m_bytes);
        if (readRefusal != Refusal::None) {
            setRefusal(refusal, readRefusal);
            return nullptr;
        }
    } catch (const std::bad_alloc&) {
        setRefusal(refusal, Refusal::Unreadable);
        return nullptr;
    }

    file->m_sha256 = Sha256::hexDigest(reinterpret_cast<const uint8_t*>(file->m_bytes.data()),
                                       file->m_bytes.size());
    file->m_update = Update::fromText(file->m_bytes.data(), file->m_bytes.size());
    if (!file->m_update) {
        setRefusal(refusal, Refusal::Unreadable); // no memory left for the reading
        return nullptr;
    }
    if (!file->m_update->isValid())
        setRefusal(refusal, Refusal::Invalid);
    return file;
}

const char* UpdateFile::reason(Refusal refusal)
{
    switch (refusal) {
    case Refusal::None:
        return "";
    case Refusal::NotFound:
        return "The file does not exist. Check its name and folder, and choose it again.";
    case Refusal::NotRegularFile:
        return "This is not a regular file (it is a folder, a pipe or a device). Choose the "
               "update file (*.upd) itself.";
    case Refusal::Unreadable:
        return "The file could not be read. Check that you may read it, or copy it to another "
               "folder and choose it there.";
    case Refusal::TooLarge:
        return "The file is far larger than any update file. Choose the update file (*.upd) "
               "for the device.";
    case Refusal::Invalid:
        return "The file is not a valid update file. Get the update file again and choose the "
               "new copy.";
    }
    return "The file cannot be used.";
}

std::string UpdateFile::fileName() const
{
    return std::filesystem::path(m_path).filename().string();
}

} // namespace ZORVI
