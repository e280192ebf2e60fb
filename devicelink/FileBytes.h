#pragma once

#include <cstddef>
#include <string>

namespace ZORVI {

// A file the user named (an update file, a settings file), read whole into
// memory. Only a regular file is read: a FIFO or a device is never opened,
// as opening or reading one can block for as long as nothing writes to it
// (and opening a serial port changes its modem lines), and a folder is no
// file to read.
class FileBytes {
public:
    enum class Problem {
        None,
        NotFound,       // no such file
        Folder,         // a folder: refused before it is opened
        NotRegularFile, // a FIFO, a device, a socket: refused before it is opened
        Unreadable,     // it does not open or read
        TooLarge        // more than the caller's limit
    };

    // The bytes of the file at path, at most maxSize of them.
    static Problem read(const std::string& path, size_t maxSize, std::string* bytes);

private:
    static Problem problemOfPath(const std::string& path);
};

} // namespace ZORVI
