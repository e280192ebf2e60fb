#pragma once

// Update files and devices that differ only in their hardware and versions,
// for the checks and the judgement of an update run.

#include "DeviceInfo.h"
#include "Update.h"
#include "UpdateImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

namespace VersionFixtures {

using Application = std::array<uint16_t, 3>;
using Data = std::array<uint16_t, 2>;

// The text of a valid update file (one record) with these fields.
inline std::string fileText(uint8_t hardwareMajor, uint8_t hardwareMinor,
                            Application application = {3, 1, 8}, Data data = {1, 3})
{
    UpdateImage::Header fields;
    fields.hardwareMajor = hardwareMajor;
    fields.hardwareMinor = hardwareMinor;
    std::copy(application.begin(), application.end(), fields.application);
    std::copy(data.begin(), data.end(), fields.data);
    return UpdateImage::text(
        UpdateImage::join({UpdateImage::header(fields), UpdateImage::record(4)}));
}

inline std::unique_ptr<ZORVI::Update> fileFor(uint8_t hardwareMajor, uint8_t hardwareMinor,
                                              Application application = {3, 1, 8},
                                              Data data = {1, 3})
{
    const std::string text = fileText(hardwareMajor, hardwareMinor, application, data);
    std::unique_ptr<ZORVI::Update> update = ZORVI::Update::fromText(text.data(), text.size());
    EXPECT_TRUE(update && update->isValid());
    return update;
}

// A running device as it reports itself: hardware word at bytes 10-11
// (upper 12 bits major, low 4 bits minor).
inline ZORVI::DeviceInfo device(uint16_t hardwareWord, Application application = {3, 1, 8},
                                Data data = {1, 3})
{
    ZORVI::DeviceInfo info;
    auto put = [&info](size_t offset, uint16_t word) {
        info.bytes[offset] = static_cast<uint8_t>(word >> 8);
        info.bytes[offset + 1] = static_cast<uint8_t>(word & 0xFF);
    };
    put(0, data[0]);
    put(2, data[1]);
    put(4, application[0]);
    put(6, application[1]);
    put(8, application[2]);
    put(10, hardwareWord);
    return info;
}

} // namespace VersionFixtures
