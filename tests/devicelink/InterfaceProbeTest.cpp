// The controller's check of the KORLINK adapter's echo of the interface
// probe, through the Win32 port on a pseudo-terminal: the test plays the
// adapter on the master side and answers each probe with the case's bytes.

#include "Control.h"
#include "LinkFailure.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "PtyPair.h"
#include "SerialWin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using ZORVI::Control;
using ZORVI::LinkFailure;
using ZORVI::Communication::Serial::PortMap;
using ZORVI::Communication::Serial::SerialWin;

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr size_t PROBE_LENGTH = sizeof Control::INTERFACE_PROBE;

Bytes probe()
{
    return Bytes(Control::INTERFACE_PROBE, Control::INTERFACE_PROBE + PROBE_LENGTH);
}

Bytes concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The adapter's side: reads each probe the host writes and answers it with
// the reply in one write (nothing for an empty reply), for a number of
// rounds.
class ProbeAnswerer {
public:
    ProbeAnswerer(const PtyPair& pty, Bytes reply, int rounds)
        : m_pty(pty), m_reply(std::move(reply)), m_rounds(rounds)
    {
        m_thread = std::thread([this] { run(); });
    }

    ~ProbeAnswerer() { join(); }

    ProbeAnswerer(const ProbeAnswerer&) = delete;
    ProbeAnswerer& operator=(const ProbeAnswerer&) = delete;

    // When each reply went out (taken before its write, so no byte of it
    // can arrive earlier), once every round is done.
    std::vector<Clock::time_point> repliedAt()
    {
        join();
        return m_repliedAt;
    }

private:
    // Outlasts the slowest probe read (2570 ms) by far.
    static constexpr int PROBE_WAIT_MS = 10000;

    void run()
    {
        for (int round = 0; round < m_rounds; ++round) {
            if (m_pty.readMaster(PROBE_LENGTH, PROBE_WAIT_MS) != probe())
                return;
            m_repliedAt.push_back(Clock::now());
            if (!m_reply.empty() && !m_pty.writeMaster(m_reply))
                return;
        }
    }

    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    const PtyPair& m_pty;
    Bytes m_reply;
    int m_rounds;
    std::vector<Clock::time_point> m_repliedAt;
    std::thread m_thread;
};

class InterfaceProbePty : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isReady());
        ASSERT_TRUE(pty.isOpen());
        portName = PrivateRuntimeDir::uniquePortName("ttyPROBE");
        ASSERT_TRUE(PortMap::add(portName, pty.slavePath()));
    }

    PrivateRuntimeDir runtime;
    PtyPair pty;
    std::string portName;
};

struct EchoCase {
    const char* name;
    Bytes echo;
    bool passes;
    LinkFailure failure;
};

std::ostream& operator<<(std::ostream& out, const EchoCase& c)
{
    return out << c.name;
}

Bytes withByteChanged(Bytes bytes, size_t index)
{
    bytes.at(index) ^= 0x20;
    return bytes;
}

const EchoCase ECHO_CASES[] = {
    {"ExactEcho", probe(), true, LinkFailure::None},
    // Right behind the echo in the same burst: more than was sent.
    {"EchoWithAnExtraByte", concat(probe(), {0x00}), false, LinkFailure::WrongEcho},
    {"ProbeEchoedTwice", concat(probe(), probe()), false, LinkFailure::WrongEcho},
    {"WrongEcho", withByteChanged(probe(), 3), false, LinkFailure::WrongEcho},
    {"WrongLastByte", withByteChanged(probe(), PROBE_LENGTH - 1), false, LinkFailure::WrongEcho},
    {"ShortEcho", Bytes(Control::INTERFACE_PROBE, Control::INTERFACE_PROBE + PROBE_LENGTH - 1),
     false, LinkFailure::WrongEcho},
    // The slowest case: the port's whole time-out for seven bytes, 2570 ms.
    {"NoEcho", {}, false, LinkFailure::NoEcho},
};

class ProbeEcho : public InterfaceProbePty, public ::testing::WithParamInterface<EchoCase> {};

TEST_P(ProbeEcho, PassesOnlyForTheProbeItself)
{
    const EchoCase& c = GetParam();
    ProbeAnswerer adapter(pty, c.echo, 1);
    Control control;
    bool echo = !c.passes;
    ASSERT_TRUE(control.testInterface(portName.c_str(), &echo));
    EXPECT_EQ(echo, c.passes);
    EXPECT_EQ(control.lastFailure(), c.failure) << Control::describe(control.lastFailure());
    EXPECT_EQ(adapter.repliedAt().size(), 1u) << "the probe went out once";
}

INSTANTIATE_TEST_SUITE_P(Pty, ProbeEcho, ::testing::ValuesIn(ECHO_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// The check ends once the echo is in: it does not wait for the line to fall
// silent for the read interval (50 ms) after the echo's last byte, as a
// read of unknown length must. The fastest of a few checks shows it,
// whatever a loaded machine does to some of them.
TEST_F(InterfaceProbePty, AnExactEchoEndsTheCheckWellBeforeTheReadInterval)
{
    constexpr int CHECKS = 5;
    constexpr long long BOUND_US = 1000LL * (SerialWin::READ_INTERVAL_MS - 10);
    ProbeAnswerer adapter(pty, probe(), CHECKS);
    Control control;
    std::vector<Clock::time_point> checkedAt;
    for (int check = 0; check < CHECKS; ++check) {
        bool echo = false;
        ASSERT_TRUE(control.testInterface(portName.c_str(), &echo));
        checkedAt.push_back(Clock::now());
        ASSERT_TRUE(echo) << Control::describe(control.lastFailure());
    }
    const std::vector<Clock::time_point> repliedAt = adapter.repliedAt();
    ASSERT_EQ(repliedAt.size(), checkedAt.size());
    long long fastestUs = BOUND_US * 1000;
    for (size_t check = 0; check < checkedAt.size(); ++check) {
        const auto took = checkedAt[check] - repliedAt[check];
        fastestUs = std::min<long long>(
            fastestUs, std::chrono::duration_cast<std::chrono::microseconds>(took).count());
    }
    RecordProperty("fastest_echo_check_us", std::to_string(fastestUs));
    EXPECT_LT(fastestUs, BOUND_US);
}

} // namespace
