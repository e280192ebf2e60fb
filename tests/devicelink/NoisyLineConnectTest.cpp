// A connect as every front end makes it (echo test, device query, recovery
// query) against a KORLINK interface that echoes the probe and then carries
// nothing but noise: it must fail, saying that no device answered, within
// the time-outs the link promises, never hang.

#include "Control.h"
#include "DeviceConnection.h"
#include "NoisyPeer.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "PtyPair.h"
#include "SerialWin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using ZORVI::Control;
using ZORVI::DeviceConnection;
using ZORVI::Communication::Serial::PortMap;
using ZORVI::Communication::Serial::SerialWin;

namespace {

using Bytes = NoisyPeer::Bytes;
using Clock = std::chrono::steady_clock;

// The longest a connect may wait on a line that sends no frame: the echo
// test's read of the probe's echo and its look behind it, then the device
// query and the recovery query, each three frame reads.
constexpr long long ECHO_TEST_MS =
    SerialWin::READ_TOTAL_MULTIPLIER_MS * sizeof Control::INTERFACE_PROBE
    + SerialWin::READ_TOTAL_CONSTANT_MS + SerialWin::TRAILING_BYTES_WAIT_MS;
constexpr long long QUERIES = 2;
constexpr long long PROMISED_MS =
    ECHO_TEST_MS + QUERIES * SerialWin::SEND_ATTEMPTS * SerialWin::FRAME_READ_DEADLINE_MS;
// How late the connect may end on a loaded machine under the sanitizers.
constexpr long long LATE_MS = 5000;
// The noise outlives the bound, so that a connect that never ends fails the
// test on its time instead of hanging it.
constexpr int PEER_BUDGET_MS = PROMISED_MS + LATE_MS + 5000;

struct NoisyLine {
    const char* name;
    NoisyPeer::Noise noise;
};

std::ostream& operator<<(std::ostream& out, const NoisyLine& line)
{
    return out << line.name;
}

const NoisyLine NOISY_LINES[] = {
    {"NoiseWithoutEnd", {NoisyPeer::everyNonStartByte(), 0}},
    {"NoiseByteEvery2s", {{0x55}, 2000}},
};

class NoisyConnect : public ::testing::TestWithParam<NoisyLine> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isReady());
        ASSERT_TRUE(pty.isOpen());
        portName = PrivateRuntimeDir::uniquePortName("ttyNOISY");
        ASSERT_TRUE(PortMap::add(portName, pty.slavePath()));
    }

    PrivateRuntimeDir runtime;
    PtyPair pty;
    std::string portName;
};

TEST_P(NoisyConnect, FailsWithNoDeviceWithinTheTimeOuts)
{
    NoisyPeer peer(pty, GetParam().noise, sizeof Control::INTERFACE_PROBE, PEER_BUDGET_MS);
    Control control;
    const Clock::time_point start = Clock::now();
    const DeviceConnection::Result result = DeviceConnection::connect(control, portName.c_str());
    const long long elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    peer.stop();

    EXPECT_EQ(result.outcome, DeviceConnection::Outcome::NoDevice)
        << "the interface echoed; nothing behind it answered";
    EXPECT_LE(elapsed, PROMISED_MS + LATE_MS);
    RecordProperty("connect_ms", std::to_string(elapsed));
}

INSTANTIATE_TEST_SUITE_P(Pty, NoisyConnect, ::testing::ValuesIn(NOISY_LINES),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
