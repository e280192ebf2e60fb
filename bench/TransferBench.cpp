// A firmware transfer of the largest update file (196608 byte values,
// 256-byte records) by Control::runUpdate into the device simulator paced at
// 115200 baud, against the least time the line needs for it.
//
//   transfer_bench [runs] [--target 0|1]
//
// The host writes to a pseudo-terminal, which takes its frames at once; what
// the line really paces is the simulator's side, which carries the echo of
// every frame and the device's answers. So the bound is those bytes at ten
// bit times each: the mode request's echo and answer, and for every record
// its frame (stuffed, with a CRC when the target is the firmware at address
// 1) and the acknowledgement frame. The fixed 400 ms pause after the mode
// request is not line time and is left out.

#include "BenchFigures.h"
#include "Control.h"
#include "DeviceInfo.h"
#include "LineTime.h"
#include "MaximumUpdateImage.h"
#include "Packet.h"
#include "Protocol.h"
#include "SimulatorProcess.h"
#include "Update.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using ZORVI::Control;
using ZORVI::Update;
using ZORVI::Communication::Packet;
using ZORVI::Testing::SimulatorProcess;
namespace Protocol = ZORVI::Protocol;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double MODE_SETTLE_SECONDS = Control::MODE_SETTLE_MS / 1000.0;
constexpr uint8_t ENTRY_ADDRESS = Packet::ADDRESS_FIRMWARE;
// The simulator restarts as the new firmware once the records have stopped
// for its restart delay; the versions are the update file's.
constexpr uint32_t RESTART_DELAY_MS = 300;
constexpr uint32_t RESTART_WAIT_MS = RESTART_DELAY_MS + 200;
constexpr const char* NEW_APPLICATION_VERSION = "3.1.8";
constexpr const char* NEW_DATA_VERSION = "1.3";

// What one record costs the line: its frame echoed, then the acknowledgement.
struct LineBudget {
    std::vector<uint32_t> recordBytes; // per record: frame + acknowledgement
    uint64_t recordTotal = 0;
    uint64_t stuffedBytes = 0; // how much longer stuffing made the frames
};

LineBudget recordBudget(const Update& update, int32_t target)
{
    LineBudget budget;
    const uint32_t acknowledgement = LineTime::frameBytes(
        Packet::ADDRESS_HOST, target, Protocol::COMMAND_RECORD, {Protocol::RECORD_ACKNOWLEDGE});
    const uint32_t framing = LineTime::framingBytes(target, Packet::ADDRESS_HOST);
    for (const ZORVI::UpdateRecord* record = update.records(); record; record = record->next) {
        const uint32_t frame =
            LineTime::frameBytes(target, Packet::ADDRESS_HOST, Protocol::COMMAND_RECORD,
                                 std::vector<uint8_t>(record->data, record->data + record->size));
        budget.recordBytes.push_back(frame + acknowledgement);
        budget.recordTotal += frame + acknowledgement;
        budget.stuffedBytes += frame - framing - record->size;
    }
    return budget;
}

// The mode exchange as the simulator logged it: each request (echoed) and
// each answer, which comes from the mode target.
uint64_t modeExchangeBytes(const SimulatorProcess& sim, int32_t target)
{
    uint64_t bytes = 0;
    for (const std::string& line : sim.logLines("request")) {
        if (LineTime::logField(line, "cmd") != std::to_string(Protocol::COMMAND_MODE))
            continue;
        const std::vector<uint8_t> payload =
            LineTime::fromLogHex(LineTime::logField(line, "payload"));
        bytes += LineTime::frameBytes(std::stoi(LineTime::logField(line, "dst")),
                                      std::stoi(LineTime::logField(line, "src")),
                                      Protocol::COMMAND_MODE, payload);
    }
    const std::string answer = "answer cmd=" + std::to_string(Protocol::COMMAND_MODE) + " ";
    for (const std::string& line : sim.logLines(answer))
        bytes += LineTime::frameBytes(Packet::ADDRESS_HOST, target, Protocol::COMMAND_MODE,
                                      LineTime::fromLogHex(LineTime::logField(line, "payload")));
    return bytes;
}

std::vector<Clock::time_point> g_progressTimes;

void noteProgress(int, void*)
{
    g_progressTimes.push_back(Clock::now());
}

struct RunResult {
    bool ok = false;
    double wholeSeconds = 0;   // runUpdate, without the fixed pause
    double recordsSeconds = 0; // first record handed over to last acknowledgement
    double medianRecordExcessUs = 0;
    double worstRecordExcessUs = 0;
    uint64_t modeBytes = 0;
    double hostCpuSeconds = 0; // this process during runUpdate
};

bool checkRestart(Control& control, const SimulatorProcess& sim, size_t records)
{
    control.sleep(RESTART_WAIT_MS);
    ZORVI::DeviceInfo info;
    if (!control.queryDeviceInfo(&info) || info.applicationVersionText() != NEW_APPLICATION_VERSION
        || info.dataVersionText() != NEW_DATA_VERSION) {
        std::fprintf(stderr, "the device did not restart with the new firmware\n");
        return false;
    }
    const std::vector<std::string> restarts = sim.logLines("event restart");
    const std::string expected = "records=" + std::to_string(records);
    if (restarts.size() != 1 || restarts[0].find(expected) == std::string::npos) {
        std::fprintf(stderr, "unexpected restart events (%zu), expected one with %s\n",
                     restarts.size(), expected.c_str());
        return false;
    }
    return true;
}

RunResult runOnce(const MaximumUpdateImage& image, int32_t target, const LineBudget& budget)
{
    RunResult result;
    SimulatorProcess sim({"--paced", "--mode-target", std::to_string(target), "--restart-delay",
                          std::to_string(RESTART_DELAY_MS), "--update-app-version",
                          NEW_APPLICATION_VERSION, "--update-data-version", NEW_DATA_VERSION});
    if (!sim.isRunning()) {
        std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
        return result;
    }
    const std::string path = sim.runtimeDirectory() + "/maximum.upd";
    Control control;
    if (!image.writeHexFile(path) || !control.testInterface(sim.portName().c_str())) {
        std::fprintf(stderr, "cannot write %s or open the simulator's port\n", path.c_str());
        return result;
    }
    g_progressTimes.clear();
    g_progressTimes.reserve(budget.recordBytes.size() + 1);
    control.setProgressCallback(noteProgress);

    const double cpuBefore = BenchFigures::processCpuSeconds();
    const Clock::time_point start = Clock::now();
    const int transferred = control.runUpdate(path.c_str());
    const Clock::time_point end = Clock::now();
    result.hostCpuSeconds = BenchFigures::processCpuSeconds() - cpuBefore;
    if (transferred != 0 || g_progressTimes.size() != budget.recordBytes.size() + 1) {
        std::fprintf(stderr, "the transfer failed (%d, %zu progress calls)\n", transferred,
                     g_progressTimes.size());
        return result;
    }

    result.wholeSeconds =
        std::chrono::duration<double>(end - start).count() - MODE_SETTLE_SECONDS;
    result.recordsSeconds = std::chrono::duration<double>(end - g_progressTimes[1]).count();
    BenchFigures excess(false);
    for (size_t i = 0; i < budget.recordBytes.size(); ++i) {
        const Clock::time_point recordEnd =
            i + 2 < g_progressTimes.size() ? g_progressTimes[i + 2] : end;
        const double cycle =
            std::chrono::duration<double>(recordEnd - g_progressTimes[i + 1]).count();
        excess.add((cycle - LineTime::seconds(budget.recordBytes[i])) * 1e6);
    }
    result.medianRecordExcessUs = excess.median();
    result.worstRecordExcessUs = excess.worst();
    result.modeBytes = modeExchangeBytes(sim, target);
    result.ok = checkRestart(control, sim, budget.recordBytes.size());
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 3;
    int32_t target = Packet::ADDRESS_RECOVERY;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--target") == 0 && i + 1 < argc)
            target = std::atoi(argv[++i]);
        else
            runs = std::atoi(argv[i]);
    }
    if (runs < 1 || (target != Packet::ADDRESS_RECOVERY && target != Packet::ADDRESS_FIRMWARE)) {
        std::fprintf(stderr, "usage: transfer_bench [runs] [--target 0|1]\n");
        return 2;
    }

    const MaximumUpdateImage image(ENTRY_ADDRESS, static_cast<uint8_t>(target));
    const std::string text = image.hexText();
    const std::unique_ptr<Update> update = Update::fromText(text.data(), text.size());
    if (!update || !update->isValid()) {
        std::fprintf(stderr, "the benchmark's update image does not read as valid\n");
        return 1;
    }
    const LineBudget budget = recordBudget(*update, target);
    std::printf("update: %zu byte values, %zu records, %u record bytes; target address %d\n",
                image.bytes().size(), budget.recordBytes.size(), update->totalBytes(), target);
    std::printf("line: %llu bytes of echo and acknowledgements for the records "
                "(%llu added by stuffing) = %.3f s at 115200 baud\n",
                static_cast<unsigned long long>(budget.recordTotal),
                static_cast<unsigned long long>(budget.stuffedBytes),
                LineTime::seconds(budget.recordTotal));
    BenchFigures::printLoad("before");

    BenchFigures whole(false);
    BenchFigures records(false);
    for (int run = 0; run < runs; ++run) {
        const RunResult result = runOnce(image, target, budget);
        if (!result.ok)
            return 1;
        const double bound = LineTime::seconds(budget.recordTotal + result.modeBytes);
        const double recordsBound = LineTime::seconds(budget.recordTotal);
        whole.add(result.wholeSeconds / bound);
        records.add(result.recordsSeconds / recordsBound);
        if (run == 0)
            std::printf("mode request: %llu bytes of echo and answer\n",
                        static_cast<unsigned long long>(result.modeBytes));
        std::printf("run %d: runUpdate %.3f s without the pause, bound %.3f s (%+.2f%%); "
                    "records %.3f s (%+.2f%%);\n"
                    "       per record over its line time: median %+.0f us, worst %+.0f us; "
                    "host CPU %.2f s\n",
                    run + 1, result.wholeSeconds, bound, 100 * (result.wholeSeconds / bound - 1),
                    result.recordsSeconds, 100 * (result.recordsSeconds / recordsBound - 1),
                    result.medianRecordExcessUs, result.worstRecordExcessUs,
                    result.hostCpuSeconds);
    }
    BenchFigures::printLoad("after");
    std::printf("runUpdate over the line bound: best %+.2f%%, median %+.2f%% (%zu runs)\n",
                100 * (whole.best() - 1), 100 * (whole.median() - 1), whole.count());
    std::printf("records phase over its bound:  best %+.2f%%, median %+.2f%%\n",
                100 * (records.best() - 1), 100 * (records.median() - 1));
    return 0;
}
