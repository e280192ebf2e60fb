#pragma once

#include <filesystem>
#include <string>

namespace ZORVI {

// File names cross the programs as UTF-8 strings: the windows hand them
// over from QString, zorvik from its command line, and the Windows programs
// run with UTF-8 as their code page (their manifest), so that the C
// runtime's narrow file functions take them as they are. std::filesystem
// must be told so: from a plain std::string, GCC's library on Windows reads
// each byte as one Latin-1 letter, and a name such as "Прошивка.upd" (or a
// user folder "C:\Users\Jürgen" under UTF-8) would name another file. On
// Linux both are the same bytes.
class FilePath {
public:
    static std::filesystem::path of(const std::string& utf8)
    {
        return std::filesystem::u8path(utf8);
    }
    static std::string text(const std::filesystem::path& path) { return path.u8string(); }
};

} // namespace ZORVI
