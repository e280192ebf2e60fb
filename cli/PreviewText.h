#pragma once

#include "DeviceInfo.h"
#include "ParameterRules.h"
#include "SettingsPlan.h"

namespace ZORVI {
namespace Cli {

// A settings plan as text on standard output, before anything is written:
// the table of the settings that would change (NAME as `params` lists it,
// CURRENT, NEW; the rows the rules correct marked `*` and explained below),
// the notes on where the file came from, or why the plan is refused with
// every value this device does not take.
class PreviewText {
public:
    // `device` is what the plan was made on, `info` the device's own
    // description.
    static void print(const SettingsPlan& plan, const Rules::Parameters& device,
                      const DeviceInfo& info);

private:
    static void printTable(const SettingsPlan& plan);
    static void printCorrections(const SettingsPlan& plan, const Rules::Parameters& device);
    static void printNotes(const SettingsPlan& plan, const DeviceInfo& info);
    static void printRefusal(const SettingsPlan& plan, const DeviceInfo& info);
};

} // namespace Cli
} // namespace ZORVI
