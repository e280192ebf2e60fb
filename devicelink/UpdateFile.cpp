#include "UpdateFile.h"

#include "FileBytes.h"
#include "FilePath.h"
#include "Sha256.h"

#include <filesystem>
#include <new>

namespace ZORVI {

namespace {

using Refusal = UpdateFile::Refusal;

// An update file holds at most Update::MAX_VALUES values of two digits and
// a separator each; a file many times that size is no update file, and
// reading it whole would only take the memory.
constexpr size_t MAX_FILE_SIZE = 16u * 1024u * 1024u;

void setRefusal(Refusal* refusal, Refusal value)
{
    if (refusal)
        *refusal = value;
}

Refusal refusalOf(FileBytes::Problem problem)
{
    switch (problem) {
    case FileBytes::Problem::None: return Refusal::None;
    case FileBytes::Problem::NotFound: return Refusal::NotFound;
    case FileBytes::Problem::Folder:
    case FileBytes::Problem::NotRegularFile: return Refusal::NotRegularFile;
    case FileBytes::Problem::Unreadable: return Refusal::Unreadable;
    case FileBytes::Problem::TooLarge: return Refusal::TooLarge;
    }
    return Refusal::Unreadable;
}

} // namespace

std::unique_ptr<UpdateFile> UpdateFile::load(const std::string& path, Refusal* refusal)
{
    setRefusal(refusal, Refusal::None);
    std::unique_ptr<UpdateFile> file(new (std::nothrow) UpdateFile);
    if (!file) {
        setRefusal(refusal, Refusal::Unreadable);
        return nullptr;
    }
    file->m_path = path;
    const Refusal readRefusal = refusalOf(FileBytes::read(path, MAX_FILE_SIZE, &file->m_bytes));
    if (readRefusal != Refusal::None) {
        setRefusal(refusal, readRefusal);
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
    return FilePath::text(FilePath::of(m_path).filename());
}

} // namespace ZORVI
