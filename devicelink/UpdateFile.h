#pragma once

#include "Update.h"

#include <cstddef>
#include <memory>
#include <string>

namespace ZORVI {

// An update file as the user chose it: its bytes read once, checked and
// kept in memory with their SHA-256, so that what is flashed is exactly what
// was shown and confirmed, whatever happens to the file afterwards. Choosing
// a file (dialog, drop, argument) always loads it afresh.
class UpdateFile {
public:
    enum class Refusal {
        None,
        NotFound,       // no such file
        NotRegularFile, // a directory, FIFO, device, ...: refused before it is opened
        Unreadable,     // it does not open or read
        TooLarge,       // larger than any update file can be
        Invalid         // read, but not a valid update (see update().problem())
    };

    // Null with the refusal set when the file cannot be used; for Invalid
    // the loaded file is returned too, so that the caller can say why.
    static std::unique_ptr<UpdateFile> load(const std::string& path, Refusal* refusal);
    // The reason of a refusal in a sentence, for the user (English).
    static const char* reason(Refusal refusal);

    const std::string& path() const { return m_path; }
    // The file name without its folders.
    std::string fileName() const;
    size_t size() const { return m_bytes.size(); }
    // Lower-case hexadecimal, 64 characters.
    const std::string& sha256() const { return m_sha256; }
    const Update& update() const { return *m_update; }

private:
    UpdateFile() = default;

    std::string m_path;
    std::string m_bytes;
    std::string m_sha256;
    std::unique_ptr<Update> m_update;
};

} // namespace ZORVI
