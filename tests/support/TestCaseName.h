#pragma once

// GoogleTest names of table rows from the rows' descriptions: letters and
// digits stay, everything else becomes '_'.

#include <gtest/gtest.h>

#include <cctype>
#include <string>

inline std::string testCaseName(const std::string& description)
{
    std::string name = description;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

// For INSTANTIATE_TEST_SUITE_P over rows with a `what` description.
struct NameFromWhat {
    template <typename Row>
    std::string operator()(const testing::TestParamInfo<Row>& info) const
    {
        return testCaseName(info.param.what);
    }
};
