// The connection sequence every front end shares, against the device
// simulator over its pseudo-terminal: each outcome, what it leaves of the
// port, and the reason texts the front ends show.
#include "Control.h"
#include "DeviceConnection.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "Protocol.h"
#include "SimulatorProcess.h"

#include "TestCaseName.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using ZORVI::Control;
using ZORVI::DeviceConnection;
using ZORVI::Testing::SimulatorProcess;
using Outcome = DeviceConnection::Outcome;
using OpenFailure = ZORVI::Communication::Serial::SerialBase::OpenFailure;

namespace {

constexpr uint8_t COMMAND_WRITE_PARAMETERS = ZORVI::Protocol::COMMAND_WRITE_PARAMETERS;
constexpr uint8_t COMMAND_HANDSHAKE = ZORVI::Protocol::COMMAND_HANDSHAKE;
constexpr uint8_t RECOVERY_HARDWARE = 0x81;
constexpr const char* RECOVERY_HARDWARE_TEXT = "0x81";

// Requests with this command the simulator received.
size_t requestsWithCommand(const SimulatorProcess& sim, uint8_t command)
{
    const std::string field = " cmd=" + std::to_string(command) + " ";
    size_t count = 0;
    for (const std::string& line : sim.logLines("request"))
        count += line.find(field) != std::string::npos ? 1 : 0;
    return count;
}

// True when a program could open the port now (and closes it again).
bool portIsFree(const std::string& portName, std::string* why)
{
    Control other;
    const bool opened = other.testInterface(portName.c_str());
    *why = other.lastOpenError();
    other.close();
    return opened;
}

enum class Port {
    Simulator,     // the simulator's port
    Missing,       // a name the port map does not have
    HeldByAnother  // the simulator's port, already open in another Control
};

struct ConnectCase {
    const char* what;
    std::vector<std::string> simulatorArguments;
    Port port;
    Outcome outcome;
    size_t handshakes; // requests the device receives
};

void PrintTo(const ConnectCase& c, std::ostream* out)
{
    *out << c.what;
}

class Connecting : public testing::TestWithParam<ConnectCase> {};

TEST_P(Connecting, EndsInItsOutcomeAndHoldsThePortOnlyWhenConnected)
{
    const ConnectCase& c = GetParam();
    SimulatorProcess sim(c.simulatorArguments);
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    Control holder;
    if (c.port == Port::HeldByAnother) {
        ASSERT_TRUE(holder.testInterface(sim.portName().c_str())) << holder.lastOpenError();
    }
    const std::string portName = c.port == Port::Missing
        ? PrivateRuntimeDir::uniquePortName("ttyNOSUCH")
        : sim.portName();

    Control control;
    const DeviceConnection::Result result = DeviceConnection::connect(control, portName.c_str());
    EXPECT_EQ(result.outcome, c.outcome);
    if (c.outcome == Outcome::Recovery) {
        EXPECT_EQ(result.recoveryHardware, RECOVERY_HARDWARE);
    }
    EXPECT_EQ(std::strlen(DeviceConnection::reason(result.outcome)) == 0,
              result.outcome == Outcome::Connected)
        << DeviceConnection::reason(result.outcome);
    // Connecting reads; it never writes a parameter.
    EXPECT_EQ(requestsWithCommand(sim, COMMAND_WRITE_PARAMETERS), 0u);
    // The version rules come before the handshake.
    EXPECT_EQ(requestsWithCommand(sim, COMMAND_HANDSHAKE), c.handshakes);

    holder.close();
    std::string why;
    if (result.outcome == Outcome::Connected) {
        Control second;
        EXPECT_FALSE(second.testInterface(sim.portName().c_str()));
        EXPECT_EQ(second.lastOpenFailure(), OpenFailure::InUse) << second.lastOpenError();
        EXPECT_EQ(DeviceConnection::connect(second, sim.portName().c_str()).outcome,
                  Outcome::PortInUse);
        control.close();
    }
    // A refused device leaves the port to the program the user is sent to.
    EXPECT_TRUE(portIsFree(sim.portName(), &why)) << why;
}

// The default simulator: hardware 8.2, application 3.1.7, token 1234.
INSTANTIATE_TEST_SUITE_P(
    Outcomes, Connecting,
    testing::Values(
        ConnectCase{"factory device", {}, Port::Simulator, Outcome::Connected, 1},
        ConnectCase{"adapter without echo", {"--no-echo"}, Port::Simulator, Outcome::NoEcho, 0},
        ConnectCase{"silent device", {"--no-answer"}, Port::Simulator, Outcome::NoDevice, 0},
        ConnectCase{"boot loader only", {"--recovery", RECOVERY_HARDWARE_TEXT}, Port::Simulator,
                    Outcome::Recovery, 0},
        ConnectCase{"hardware 7", {"--hardware", "0x0072"}, Port::Simulator,
                    Outcome::WrongHardware, 0},
        ConnectCase{"application 3.2", {"--app-version", "3.2.0"}, Port::Simulator,
                    Outcome::WrongApplication, 0},
        // Without the token in its information the host cannot prove it
        // read it: the device refuses the handshake.
        ConnectCase{"information without token", {"--info-24"}, Port::Simulator,
                    Outcome::HandshakeRefused, 1},
        ConnectCase{"port not in the map", {}, Port::Missing, Outcome::NoSuchPort, 0},
        ConnectCase{"port held by another program", {}, Port::HeldByAnother, Outcome::PortInUse,
                    0}),
    NameFromWhat());

TEST(ConnectingResult, CarriesWhatTheDeviceSaid)
{
    SimulatorProcess sim({"--hardware", "0x0072", "--app-version", "3.1.9"});
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    Control control;
    const DeviceConnection::Result result = DeviceConnection::connect(control, sim.portName().c_str());
    ASSERT_EQ(result.outcome, Outcome::WrongHardware);
    EXPECT_EQ(result.info.hardwareMajor(), 7);
    EXPECT_EQ(result.info.applicationMajor(), 3);
    EXPECT_EQ(result.info.applicationMinor(), 1);
}

// The command line's way in: the port opened and the device asked, with no
// handshake; the port stays open for what follows.
TEST(OpeningAndProbing, KeepThePortAndAskNoHandshake)
{
    SimulatorProcess sim;
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    Control control;
    ASSERT_EQ(DeviceConnection::openPort(control, sim.portName().c_str()), Outcome::Found);
    const DeviceConnection::Result result = DeviceConnection::probe(control);
    EXPECT_EQ(result.outcome, Outcome::Found);
    EXPECT_EQ(result.info.hardwareMajor(), 8);
    EXPECT_EQ(requestsWithCommand(sim, COMMAND_HANDSHAKE), 0u);
    std::string why;
    EXPECT_FALSE(portIsFree(sim.portName(), &why));
    control.close();
    EXPECT_TRUE(portIsFree(sim.portName(), &why)) << why;
}

TEST(OpeningThePort, TellsAMissingPermissionFromABusyPort)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root opens the port whatever its mode";
    SimulatorProcess sim;
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    const std::string node = ZORVI::Communication::Serial::PortMap::resolve(sim.portName());
    ASSERT_FALSE(node.empty());
    struct stat before;
    ASSERT_EQ(stat(node.c_str(), &before), 0);
    ASSERT_EQ(chmod(node.c_str(), 0), 0);
    Control control;
    const Outcome outcome = DeviceConnection::connect(control, sim.portName().c_str()).outcome;
    chmod(node.c_str(), before.st_mode & 07777);
    EXPECT_EQ(outcome, Outcome::PermissionDenied);
    // The port's own words name the node and why.
    EXPECT_NE(control.lastOpenError().find("You may not open " + node), std::string::npos)
        << control.lastOpenError();
}

// ---- what the front ends say --------------------------------------------------

struct ReasonCase {
    Outcome outcome;
    bool portFailure;
    const char* whatToDo; // a word of the advice the user gets, or null
};

const ReasonCase FAILURES[] = {
    {Outcome::Recovery, false, "updater"},
    {Outcome::NoDevice, false, "powered"},
    {Outcome::WrongHardware, false, nullptr},
    {Outcome::WrongApplication, false, nullptr},
    {Outcome::HandshakeRefused, false, "handshake"},
    {Outcome::PortInUse, true, "in use"},
    {Outcome::PermissionDenied, true, "dialout"},
    {Outcome::NoSuchPort, true, nullptr},
    {Outcome::NotSerial, true, nullptr},
    {Outcome::PortNotOpened, true, nullptr},
    {Outcome::NoEcho, true, "KORLINK"},
};

TEST(Reasons, NameEveryFailureApartAndWhatTheUserCanDo)
{
    std::set<std::string> texts;
    for (const ReasonCase& c : FAILURES) {
        const std::string reason = DeviceConnection::reason(c.outcome);
        SCOPED_TRACE(reason);
        EXPECT_FALSE(reason.empty());
        EXPECT_TRUE(texts.insert(reason).second) << "said for two outcomes";
        EXPECT_EQ(DeviceConnection::isPortFailure(c.outcome), c.portFailure);
        if (c.whatToDo) {
            EXPECT_NE(reason.find(c.whatToDo), std::string::npos) << c.whatToDo;
        }
    }
    for (Outcome success : {Outcome::Connected, Outcome::Found}) {
        EXPECT_STREQ(DeviceConnection::reason(success), "");
        EXPECT_FALSE(DeviceConnection::isPortFailure(success));
    }
}

} // namespace
