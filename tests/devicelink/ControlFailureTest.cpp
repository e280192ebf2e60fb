// Why an operation of the device controller failed: each reason provoked on
// a real pseudo-terminal through the Win32 port, with a scripted adapter and
// device, a line that garbles the echo, an adapter that stays silent or is
// unplugged, and no port at all. A port that cannot tell why it failed still
// leaves a reason: the step that failed. Every reason has a sentence for the
// user.

#include "Control.h"
#include "FrameBytes.h"
#include "LinkFailure.h"
#include "NoisyPeer.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "Protocol.h"
#include "PtyPair.h"
#include "ScriptedDevice.h"
#include "SerialBase.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>

using ZORVI::Control;
using ZORVI::LinkFailure;
using ZORVI::Communication::Serial::PortMap;
using ZORVI::Communication::Serial::SerialBase;
namespace Protocol = ZORVI::Protocol;
using namespace ScriptedLink;

namespace {

// Who is at the far end of the port.
enum class Peer {
    Device,    // the scripted adapter and device
    Garbling,  // a line that sends back other frames than it got
    Silent,    // a port with nothing behind it
    Unplugged, // the far end went away after the port was opened
    NoPort,    // a port name the system does not know
    NotOpened  // the controller never opened a port
};

// How the scripted device answers a request.
enum class Answer {
    AsAsked,      // the payload, from the request's destination, with its command
    OtherCommand, // the payload, but with the command of a device query
    Damaged,      // the payload with one byte changed after the CRC was made
    Nothing
};

enum class Operation {
    Handshake,      // handshake(0x12, 0x34)
    ReadTwoValues,  // readValues(0x0100, 2)
    WriteNothing,   // writeParameters with no values
    CheckInterface  // testInterface with the echo and line tests
};

struct FailureCase {
    const char* name;
    Peer peer;
    Answer answer;
    Bytes payload;
    Operation operation;
    bool succeeds;
    LinkFailure failure;
};

std::ostream& operator<<(std::ostream& out, const FailureCase& c)
{
    return out << c.name;
}

const Bytes HANDSHAKE_DONE = {Protocol::HANDSHAKE_MARKER, 0xED, Protocol::STATUS_OK};
const Bytes HANDSHAKE_REFUSED = {Protocol::HANDSHAKE_MARKER, 0xED, Protocol::STATUS_REFUSED};

const FailureCase FAILURE_CASES[] = {
    {"Done", Peer::Device, Answer::AsAsked, HANDSHAKE_DONE, Operation::Handshake, true,
     LinkFailure::None},
    {"HandshakeRefused", Peer::Device, Answer::AsAsked, HANDSHAKE_REFUSED, Operation::Handshake,
     false, LinkFailure::Refused},
    {"ValueReadRefused", Peer::Device, Answer::AsAsked, {Protocol::STATUS_REFUSED},
     Operation::ReadTwoValues, false, LinkFailure::Refused},
    {"HandshakeAnswerCutShort", Peer::Device, Answer::AsAsked, {Protocol::HANDSHAKE_MARKER},
     Operation::Handshake, false, LinkFailure::UnexpectedAnswer},
    {"AnswerToAnotherCommand", Peer::Device, Answer::OtherCommand, HANDSHAKE_DONE,
     Operation::Handshake, false, LinkFailure::UnexpectedAnswer},
    {"FewerValuesThanAsked", Peer::Device, Answer::AsAsked, {0x00, 0x05, Protocol::STATUS_OK},
     Operation::ReadTwoValues, false, LinkFailure::UnexpectedAnswer},
    {"DamagedAnswer", Peer::Device, Answer::Damaged, HANDSHAKE_DONE, Operation::Handshake, false,
     LinkFailure::BadCrc},
    {"NoAnswer", Peer::Device, Answer::Nothing, {}, Operation::Handshake, false,
     LinkFailure::NoAnswer},
    {"NothingToWrite", Peer::Device, Answer::AsAsked, {Protocol::STATUS_OK},
     Operation::WriteNothing, false, LinkFailure::InvalidRequest},
    {"LinesNotLoopedBack", Peer::Device, Answer::Nothing, {}, Operation::CheckInterface, true,
     LinkFailure::LinesNotLooped},
    {"GarbledEcho", Peer::Garbling, Answer::Nothing, {}, Operation::Handshake, false,
     LinkFailure::WrongEcho},
    {"GarbledProbeEcho", Peer::Garbling, Answer::Nothing, {}, Operation::CheckInterface, true,
     LinkFailure::WrongEcho},
    {"NoEcho", Peer::Silent, Answer::Nothing, {}, Operation::Handshake, false,
     LinkFailure::NoEcho},
    {"AdapterUnplugged", Peer::Unplugged, Answer::Nothing, {}, Operation::Handshake, false,
     LinkFailure::WriteFailed},
    {"NoSuchPort", Peer::NoPort, Answer::Nothing, {}, Operation::CheckInterface, false,
     LinkFailure::OpenFailed},
    {"PortNotOpened", Peer::NotOpened, Answer::Nothing, {}, Operation::Handshake, false,
     LinkFailure::NotOpen},
};

// The scripted device's reply to a request, as the case shapes it.
Bytes replyTo(const FailureCase& c, const Packet& request)
{
    switch (c.answer) {
    case Answer::AsAsked:
        return FrameBytes::answerTo(request, c.payload);
    case Answer::OtherCommand:
        return FrameBytes::frame(Packet::ADDRESS_HOST, request.destination(),
                                 Protocol::COMMAND_DEVICE_INFO, c.payload);
    case Answer::Damaged: {
        Bytes frame = FrameBytes::answerTo(request, c.payload);
        // The first body byte is the marker, which needs no stuffing: a
        // changed marker keeps the frame whole and breaks its CRC.
        EXPECT_EQ(frame.at(2), Protocol::HANDSHAKE_MARKER);
        frame.at(2) ^= 0x01;
        return frame;
    }
    case Answer::Nothing:
        break;
    }
    return Bytes();
}

// The far end of the case's port, for the length of a test.
class FarEnd {
public:
    explicit FarEnd(const FailureCase& c)
        : m_portName(PrivateRuntimeDir::uniquePortName("ttyFAIL"))
    {
        if (c.peer == Peer::Device) {
            m_device = std::make_unique<ScriptedDevice>(
                m_portName, [&c](const Packet& request, const Bytes&) {
                    return replyTo(c, request);
                });
            return;
        }
        if (c.peer == Peer::Garbling || c.peer == Peer::Silent || c.peer == Peer::Unplugged) {
            m_pty = std::make_unique<PtyPair>();
            EXPECT_TRUE(m_pty->isOpen());
            EXPECT_TRUE(PortMap::add(m_portName, m_pty->slavePath()));
        }
        if (c.peer == Peer::Garbling) {
            // Frames of a device query, over and over: whatever the host
            // sends, the first frame it reads back is not its own.
            const NoisyPeer::Noise query = {
                FrameBytes::request(Packet::ADDRESS_FIRMWARE, Protocol::COMMAND_DEVICE_INFO), 0};
            m_noise = std::make_unique<NoisyPeer>(*m_pty, query, 0, NOISE_BUDGET_MS);
        }
    }

    ~FarEnd()
    {
        m_noise.reset();
        if (m_pty)
            PortMap::remove(m_portName);
    }

    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;

    const char* portName() const { return m_portName.c_str(); }
    void unplug() { m_pty->closeMaster(); }
    size_t framesSeen() const { return m_device ? m_device->frames().size() : 0; }

private:
    // Outlives the slowest case by far; the peer is stopped at the end.
    static constexpr int NOISE_BUDGET_MS = 60000;

    std::string m_portName;
    std::unique_ptr<ScriptedDevice> m_device;
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<NoisyPeer> m_noise;
};

bool carryOut(Control& control, Operation operation, const char* portName)
{
    switch (operation) {
    case Operation::Handshake:
        return control.handshake(0x12, 0x34);
    case Operation::ReadTwoValues: {
        std::unique_ptr<uint16_t[]> values(control.readValues(0x0100, 2));
        return values != nullptr;
    }
    case Operation::WriteNothing:
        return control.writeParameters(nullptr, nullptr, 0);
    case Operation::CheckInterface: {
        bool echo = false;
        bool lines = false;
        return control.testInterface(portName, &echo, &lines);
    }
    }
    return false;
}

class LinkFailureReason : public ::testing::TestWithParam<FailureCase> {
protected:
    void SetUp() override { ASSERT_TRUE(runtime.isReady()); }

    PrivateRuntimeDir runtime;
};

TEST_P(LinkFailureReason, NamesWhatFailed)
{
    const FailureCase& c = GetParam();
    FarEnd farEnd(c);
    Control control;
    const bool opensFirst = c.operation != Operation::CheckInterface && c.peer != Peer::NotOpened;
    if (opensFirst) {
        ASSERT_TRUE(control.testInterface(farEnd.portName()));
    }
    if (c.peer == Peer::Unplugged)
        farEnd.unplug();

    EXPECT_EQ(carryOut(control, c.operation, farEnd.portName()), c.succeeds);
    EXPECT_EQ(control.lastFailure(), c.failure) << Control::describe(control.lastFailure());
    // A request that does not fit the protocol never reaches the wire.
    if (c.peer == Peer::Device && c.operation != Operation::CheckInterface) {
        EXPECT_EQ(farEnd.framesSeen(), c.failure == LinkFailure::InvalidRequest ? 0u : 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Pty, LinkFailureReason, ::testing::ValuesIn(FAILURE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LastFailure, IsForgottenByTheNextOperation)
{
    PrivateRuntimeDir runtime;
    ASSERT_TRUE(runtime.isReady());
    const FailureCase refusedOnce = {"", Peer::Device, Answer::AsAsked, HANDSHAKE_REFUSED,
                                     Operation::Handshake, false, LinkFailure::Refused};
    FarEnd farEnd(refusedOnce);
    Control control;
    ASSERT_TRUE(control.testInterface(farEnd.portName()));
    ASSERT_FALSE(control.handshake(0x12, 0x34));
    ASSERT_EQ(control.lastFailure(), LinkFailure::Refused);
    // No values: refused before anything is sent, for its own reason.
    EXPECT_FALSE(control.writeParameters(nullptr, nullptr, 0));
    EXPECT_EQ(control.lastFailure(), LinkFailure::InvalidRequest);
    // Opening the port anew is an operation of its own.
    EXPECT_TRUE(control.testInterface(farEnd.portName()));
    EXPECT_EQ(control.lastFailure(), LinkFailure::None);
}

// ---- a port that cannot tell why -------------------------------------------

// Opens, then either takes no request or gets no answer, and gives no
// reason of its own (the default of SerialBase).
class MutePort : public SerialBase {
public:
    explicit MutePort(bool sends) : m_sends(sends) {}

    bool open(const char*, int) override { return true; }
    void close() override {}
    void purge() override {}
    bool sendPacket(const Packet&) override { return m_sends; }
    Packet* receivePacket() override { return nullptr; }
    bool setDTR(bool) override { return true; }
    bool setRTS(bool) override { return true; }
    bool getModemLines(uint8_t flags[4]) override
    {
        std::memset(flags, 0, 4);
        return true;
    }
    bool enumeratePort(uint32_t, char*, uint32_t) override { return false; }
    void sleep(uint32_t) override {}
    bool write(const uint8_t*, uint32_t, uint32_t*) override { return m_sends; }
    bool read(uint8_t*, uint32_t, uint32_t*) override { return false; }
    const char* openError() const override { return ""; }
    OpenFailure openFailure() const override { return OpenFailure::None; }

private:
    bool m_sends;
};

struct MuteCase {
    const char* name;
    bool sends;
    LinkFailure failure;
};

class MutePortReason : public ::testing::TestWithParam<MuteCase> {};

TEST_P(MutePortReason, IsTheStepThatFailed)
{
    Control control(std::make_unique<MutePort>(GetParam().sends));
    ASSERT_TRUE(control.testInterface("ANY"));
    EXPECT_FALSE(control.handshake(0x12, 0x34));
    EXPECT_EQ(control.lastFailure(), GetParam().failure);
}

INSTANTIATE_TEST_SUITE_P(InProcess, MutePortReason,
                         ::testing::Values(MuteCase{"RequestNotTaken", false,
                                                    LinkFailure::WriteFailed},
                                           MuteCase{"NoAnswer", true, LinkFailure::NoAnswer}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the sentences ------------------------------------------------------------

const LinkFailure ALL_FAILURES[] = {
    LinkFailure::OpenFailed,     LinkFailure::NotOpen,    LinkFailure::InvalidRequest,
    LinkFailure::WriteFailed,    LinkFailure::NoEcho,     LinkFailure::WrongEcho,
    LinkFailure::LinesNotLooped, LinkFailure::NoAnswer,   LinkFailure::BadCrc,
    LinkFailure::UnexpectedAnswer, LinkFailure::Refused,  LinkFailure::OutOfMemory,
};

TEST(LinkFailureSentence, EachReasonHasItsOwnSentenceThatSaysWhatToDo)
{
    EXPECT_STREQ(Control::describe(LinkFailure::None), "");
    std::set<std::string> seen;
    for (LinkFailure failure : ALL_FAILURES) {
        const std::string sentence = Control::describe(failure);
        SCOPED_TRACE(sentence);
        ASSERT_FALSE(sentence.empty());
        EXPECT_EQ(sentence.back(), '.');
        // What failed, then what to do after the colon.
        EXPECT_NE(sentence.find(": "), std::string::npos);
        EXPECT_TRUE(seen.insert(sentence).second) << "said twice";
    }
}

} // namespace
