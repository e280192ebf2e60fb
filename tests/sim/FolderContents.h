#pragma once

// What a test finds in the folder of a state file: a file's text, and the
// names in a folder (to see that nothing was left behind).

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

inline std::string readText(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::set<std::string> entriesOf(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}
