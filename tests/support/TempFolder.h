#pragma once

// A fresh folder in the system's temporary directory for one test, removed
// with everything in it at the end. Works on Linux and Windows alike.

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

class TempFolder {
public:
    TempFolder()
    {
        std::random_device random;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 16 && m_path.empty(); ++attempt) {
            const std::filesystem::path candidate =
                base / ("zorvik-test-" + std::to_string(random()) + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error))
                m_path = candidate;
        }
    }
    ~TempFolder()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool isReady() const { return !m_path.empty(); }
    const std::filesystem::path& path() const { return m_path; }

    // The path of name in the folder.
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    // Writes content (bytes as they are) to name; returns its path.
    std::string write(const std::string& name, const std::string& content) const
    {
        const std::string where = file(name);
        std::ofstream(where, std::ios::binary | std::ios::trunc) << content;
        return where;
    }

private:
    std::filesystem::path m_path;
};
