#pragma once

#include "DeviceInfo.h"

#include <cstdint>
#include <string>

namespace ZORVI {

// The devices this settings software works with: hardware major version 8
// (TR6400QK) running application 3.1 with any third number. Other firmware
// is answered with the product web page, where the user finds a fitting
// version for the device's serial number.
struct DeviceRequirements {
    static constexpr uint16_t HARDWARE_MAJOR = 8;
    static constexpr uint16_t APPLICATION_MAJOR = 3;
    static constexpr uint16_t APPLICATION_MINOR = 1;
    static constexpr const char* PRODUCT_WEB_SITE = "https://www.zorvik-heli.example";

    static bool hardwareFits(const DeviceInfo& info)
    {
        return info.hardwareMajor() == HARDWARE_MAJOR;
    }
    static bool applicationFits(const DeviceInfo& info)
    {
        return info.applicationMajor() == APPLICATION_MAJOR
            && info.applicationMinor() == APPLICATION_MINOR;
    }
    static bool deviceFits(const DeviceInfo& info)
    {
        return hardwareFits(info) && applicationFits(info);
    }
    // The product web page for the device, with its masked serial number.
    static std::string productPageUrl(const DeviceInfo& info)
    {
        return std::string(PRODUCT_WEB_SITE) + "/index.php?serial=" + info.serialWebText();
    }
};

} // namespace ZORVI
