// Loading a whole settings file (all 29 parameters) onto the device
// simulator paced at the real line rate: the time of the write request and
// the read-back of every value written (SettingsApply::apply), against the
// least time the line needs for the same frames.
//
//   settings_load_bench [runs=11]
//
// Each run loads one of two setups that differ in every parameter the
// rules let differ, alternately, so every run writes as much as a full file
// can. The bound is the simulator's side of the line, which carries the echo
// of each request and then the device's answer: the frames the simulator
// logged for the run, stuffed, at ten bit times per byte.

#include "BenchFigures.h"
#include "Control.h"
#include "LineTime.h"
#include "ParameterIds.h"
#include "ParameterMemory.h"
#include "SettingsApply.h"
#include "SettingsPlan.h"
#include "SimulatorProcess.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using ZORVI::Control;
using ZORVI::SettingsApply;
using ZORVI::SettingsFile;
using ZORVI::SettingsPlan;
using ZORVI::EEPROM::ParameterMemory;
using ZORVI::Testing::SimulatorProcess;
namespace Rules = ZORVI::Rules;
namespace Id = ZORVI::EEPROM;

namespace {

struct Run {
    double seconds = -1;
    double bound = -1;
    size_t written = 0;
    size_t requests = 0;
};

std::vector<uint16_t> allIds()
{
    std::vector<uint16_t> ids;
    for (const Id::ParameterName& parameter : Id::PARAMETER_NAMES)
        ids.push_back(parameter.id);
    return ids;
}

// A neighbour of the default the rules take on its own: one up, else one
// down; the torque direction reversed. The swash plate as another geometry.
SettingsFile otherSetup(const Rules::Parameters& device, const ZORVI::DeviceInfo& info)
{
    Rules::Parameters wanted = device;
    for (auto& [id, parameter] : wanted) {
        const Rules::Limits& limits = parameter.limits;
        parameter.value = limits.defaultValue;
        for (int step : {1, -1, -2}) {
            const int value = id == Id::TorqueDirection ? -limits.defaultValue
                                                        : limits.defaultValue + step;
            if (Rules::checkValue(id, value, device).accepted()) {
                parameter.value = value;
                break;
            }
        }
    }
    wanted = Rules::applied(wanted, Rules::geometryChanges(1, 30));
    std::vector<SettingsFile::Setting> settings;
    for (uint16_t id : allIds())
        settings.push_back({id, wanted.at(id).value});
    return SettingsFile(info, settings, "bench");
}

SettingsFile factorySetup(const Rules::Parameters& device, const ZORVI::DeviceInfo& info)
{
    std::vector<SettingsFile::Setting> settings;
    for (uint16_t id : allIds())
        settings.push_back({id, device.at(id).limits.defaultValue});
    return SettingsFile(info, settings, "bench");
}

Run load(const SimulatorProcess& sim, ParameterMemory& memory, const ZORVI::DeviceInfo& info,
         const SettingsFile& file)
{
    Run run;
    const SettingsPlan plan = SettingsPlan::forFile(memory.snapshot(), info, file);
    if (!plan.canApply()) {
        std::fprintf(stderr, "the setup cannot be applied (refusal %d)\n", int(plan.refusal()));
        return run;
    }
    const size_t logBefore = sim.logLines().size();
    const auto start = std::chrono::steady_clock::now();
    const SettingsApply::Result result = SettingsApply::apply(memory, plan.changes());
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (!result.verified()) {
        std::fprintf(stderr, "the load was not verified\n");
        return run;
    }
    run.seconds = elapsed.count();
    run.written = result.ids.size();
    run.bound = LineTime::seconds(LineTime::logBytes(sim.logLines(), logBefore, &run.requests));
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 11;
    if (runs < 1) {
        std::fprintf(stderr, "usage: settings_load_bench [runs]\n");
        return 2;
    }
    SimulatorProcess sim({"--paced"});
    Control control;
    ZORVI::DeviceInfo info;
    if (!sim.isRunning() || !control.testInterface(sim.portName().c_str())
        || !control.queryDeviceInfo(&info)
        || !control.handshake(info.tokenHigh(), info.tokenLow())) {
        std::fprintf(stderr, "cannot connect to the simulator: %s\n", sim.error().c_str());
        return 1;
    }
    control.setBlockMode(false);
    ParameterMemory memory(&control, false, ParameterMemory::DEFAULT_ID_RUN,
                           ParameterMemory::DEFAULT_ADDRESS_RUN);
    memory.loadAll();
    const SettingsFile setups[2] = {otherSetup(memory.snapshot(), info),
                                   factorySetup(memory.snapshot(), info)};

    BenchFigures::printLoad("before");
    BenchFigures times(false);
    BenchFigures over(false);
    BenchFigures bounds(false);
    Run last;
    for (int i = 0; i < runs; ++i) {
        last = load(sim, memory, info, setups[i % 2]);
        if (last.seconds < 0)
            return 1;
        times.add(last.seconds * 1000);
        over.add(100 * (last.seconds / last.bound - 1));
        bounds.add(last.bound * 1000);
        std::printf("run %d: %zu written, %zu requests, %.2f ms, bound %.2f ms (%+.1f%%)\n", i + 1,
                    last.written, last.requests, last.seconds * 1000, last.bound * 1000,
                    100 * (last.seconds / last.bound - 1));
    }
    BenchFigures::printLoad("after");
    std::printf("load of 29 settings, %zu written in %zu requests: best %.2f ms, median %.2f ms; "
                "line bound %.2f to %.2f ms; over it: best %+.1f%%, median %+.1f%% (%d runs)\n",
                last.written, last.requests, times.best(), times.median(), bounds.best(),
                bounds.worst(),
                over.best(), over.median(), runs);
    return 0;
}
