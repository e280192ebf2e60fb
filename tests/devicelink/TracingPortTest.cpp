// The support trace of the device link: every call on the port becomes one
// time-stamped line, and the port's results pass through unchanged.

#include "FrameBytes.h"
#include "Packet.h"
#include "PrivateRuntimeDir.h"
#include "ScriptedDevice.h"
#include "SerialWin.h"
#include "TracingPort.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

using ZORVI::LinkFailure;
using ZORVI::Communication::Packet;
using ZORVI::Communication::Serial::SerialBase;
using ZORVI::Communication::Serial::SerialWin;
using ZORVI::Communication::Serial::TracingPort;

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// A port whose answers the test sets: what every call returns, the bytes a
// read delivers and the frame a receive decodes.
class FakePort : public SerialBase {
public:
    bool succeeds = true;
    uint32_t transferred = 0; // bytes a write or read reports
    Bytes incoming;           // what a read copies out
    Bytes frame;              // what receivePacket decodes; empty: no packet
    uint8_t lines[4] = {0, 0, 0, 0};
    LinkFailure failure = LinkFailure::None; // the reason a packet call gives
    Bytes line; // what the last packet call read off the line, as lineBytes() gives it

    bool open(const char*, int) override { return succeeds; }
    void close() override {}
    void purge() override {}
    bool sendPacket(const Packet&) override { return succeeds; }
    Packet* receivePacket() override
    {
        if (frame.empty())
            return nullptr;
        auto* packet = new Packet;
        if (!packet->decode(frame.data(), static_cast<uint16_t>(frame.size()), true))
            failure = LinkFailure::BadCrc;
        return packet;
    }
    LinkFailure packetFailure() const override { return failure; }
    const Bytes& lineBytes() const override { return line; }
    bool setDTR(bool) override { return succeeds; }
    bool setRTS(bool) override { return succeeds; }
    bool getModemLines(uint8_t flags[4]) override
    {
        std::memcpy(flags, lines, sizeof lines);
        return succeeds;
    }
    bool enumeratePort(uint32_t, char*, uint32_t) override { return succeeds; }
    void sleep(uint32_t) override {}
    bool write(const uint8_t*, uint32_t, uint32_t* written) override
    {
        if (written)
            *written = transferred;
        return succeeds;
    }
    bool read(uint8_t* buffer, uint32_t length, uint32_t* got) override
    {
        const uint32_t count = std::min<uint32_t>(length, static_cast<uint32_t>(incoming.size()));
        if (count > 0)
            std::memcpy(buffer, incoming.data(), count);
        if (got)
            *got = count;
        return succeeds;
    }
    // Unlike read(), only the expected bytes: a trace that fell back to
    // read() would hand out more.
    bool readExpected(uint8_t* buffer, uint32_t expected, uint32_t length, uint32_t* got) override
    {
        return read(buffer, std::min(expected, length), got);
    }
    const char* openError() const override { return succeeds ? "" : "no such port"; }
    OpenFailure openFailure() const override
    {
        return succeeds ? OpenFailure::None : OpenFailure::NoSuchPort;
    }
};

const Bytes PROBE = {'Z', 'O', 'R', 'V', 'I', 'K', 0};

// One call on a port, summed up in text so that the bare port's result and
// the traced port's result can be compared.
using Call = std::function<std::string(SerialBase&)>;

std::string writeProbe(SerialBase& port)
{
    uint32_t written = 99;
    const bool ok = port.write(PROBE.data(), static_cast<uint32_t>(PROBE.size()), &written);
    return std::to_string(ok) + " " + std::to_string(written);
}

std::string readBytes(SerialBase& port)
{
    uint8_t buffer[16] = {};
    uint32_t got = 99;
    const bool ok = port.read(buffer, sizeof buffer, &got);
    return std::to_string(ok) + " " + TracingPort::hex(buffer, got);
}

std::string readTwoExpected(SerialBase& port)
{
    uint8_t buffer[16] = {};
    uint32_t got = 99;
    const bool ok = port.readExpected(buffer, 2, sizeof buffer, &got);
    return std::to_string(ok) + " " + TracingPort::hex(buffer, got);
}

std::string sendQuery(SerialBase& port)
{
    Packet packet;
    FrameBytes::fill(packet, Packet::ADDRESS_FIRMWARE, Packet::ADDRESS_HOST, 6, {0x3A});
    const bool sent = port.sendPacket(packet);
    return std::to_string(sent) + " " + std::to_string(static_cast<int>(port.packetFailure()));
}

std::string receive(SerialBase& port)
{
    std::unique_ptr<Packet> packet(port.receivePacket());
    return (packet ? TracingPort::describe(*packet) : "null") + " "
        + std::to_string(static_cast<int>(port.packetFailure()));
}

std::string modemLines(SerialBase& port)
{
    uint8_t flags[4] = {9, 9, 9, 9};
    const bool ok = port.getModemLines(flags);
    return std::to_string(ok) + TracingPort::hex(flags, 4);
}

struct TraceCase {
    const char* name;
    std::function<void(FakePort&)> arrange;
    Call call;
    const char* line; // the event after the time stamp
};

void succeeding(FakePort&) {}
void failing(FakePort& port) { port.succeeds = false; }
void noEcho(FakePort& port)
{
    port.succeeds = false;
    port.failure = LinkFailure::NoEcho;
}

Bytes firmwareAnswer(const Bytes& payload)
{
    return FrameBytes::frame(Packet::ADDRESS_HOST, Packet::ADDRESS_FIRMWARE, 6, payload);
}

// The answer with one CRC bit flipped: its last body byte, the CRC's low
// byte, which is no stuffing byte for the payloads used here.
Bytes corrupted(Bytes frame)
{
    frame[frame.size() - 3] ^= 0x01;
    return frame;
}

const Bytes NOISE = {0x00, 0x11, 0xFF};

Bytes concatenated(Bytes first, const Bytes& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The request sendQuery sends, as framed on the line.
const Bytes QUERY_FRAME = {0xE1, 0x6C, 0x3A, 0xEB, 0xEE, 0xE1, 0x6D};

const TraceCase TRACE_CASES[] = {
    {"OpenSucceeds", succeeding,
     [](SerialBase& p) { return std::to_string(p.open("ttyUSB0", 1)); },
     "open ttyUSB0 mode 1: ok"},
    {"OpenFailsWithItsReason", failing,
     [](SerialBase& p) { return std::to_string(p.open("ttyUSB9", 1)); },
     "open ttyUSB9 mode 1: failed (no such port)"},
    {"Close", succeeding, [](SerialBase& p) { p.close(); return std::string(); }, "close"},
    {"Purge", succeeding, [](SerialBase& p) { p.purge(); return std::string(); }, "purge"},
    {"WriteWhole", [](FakePort& p) { p.transferred = 7; }, writeProbe,
     "> 5A 4F 52 56 49 4B 00"},
    {"WritePartly", [](FakePort& p) { p.transferred = 3; }, writeProbe,
     "> 5A 4F 52 56 49 4B 00: 3 of 7 written"},
    {"WriteFails", failing, writeProbe, "> 5A 4F 52 56 49 4B 00: write failed"},
    {"ReadBytes", [](FakePort& p) { p.incoming = {0x00, 0xE7, 0xFF}; }, readBytes, "< 00 E7 FF"},
    {"ReadNothing", succeeding, readBytes, "< (none)"},
    {"ReadFails", failing, readBytes, "< read failed"},
    {"ReadExpectedIsPassedOn", [](FakePort& p) { p.incoming = {0x5A, 0x4F, 0x52}; },
     readTwoExpected, "< 5A 4F"},
    {"SendEchoed", succeeding, sendQuery,
     ">> E1 6C 3A EB EE E1 6D | to 1 from 6 command 6 payload 3A: echo ok"},
    {"SendNotEchoed", noEcho, sendQuery,
     ">> E1 6C 3A EB EE E1 6D | to 1 from 6 command 6 payload 3A: failed (no echo)"},
    {"SendFailsWithoutAReason", failing, sendQuery,
     ">> E1 6C 3A EB EE E1 6D | to 1 from 6 command 6 payload 3A: failed"},
    {"ReceiveWithGoodCrc", [](FakePort& p) { p.frame = firmwareAnswer({0x01, 0x02}); }, receive,
     "<< to 6 from 1 command 6 payload 01 02: CRC ok"},
    {"ReceiveWithBadCrc", [](FakePort& p) { p.frame = corrupted(firmwareAnswer({0x01, 0x02})); },
     receive, "<< to 6 from 1 command 6 payload (none): CRC refused"},
    // What a port that reads the line (SerialWin) tells beyond the packet.
    {"ReceiveWithBadCrcLogsTheBytesReceived",
     [](FakePort& p) { p.line = p.frame = corrupted(firmwareAnswer({0x01, 0x02})); }, receive,
     "<< E6 62 01 02 0B 6B E6 63 | to 6 from 1 command 6 payload (none): CRC refused"},
    {"ReceiveAfterNoiseLogsTheNoise",
     [](FakePort& p) {
         p.frame = firmwareAnswer({0x01, 0x02});
         p.line = concatenated(NOISE, p.frame);
     },
     receive, "<< 00 11 FF E6 62 01 02 0B 6A E6 63 | to 6 from 1 command 6 payload 01 02: CRC ok"},
    {"ReceiveOfAFrameAloneLogsItOnce",
     [](FakePort& p) { p.line = p.frame = firmwareAnswer({0x01, 0x02}); }, receive,
     "<< to 6 from 1 command 6 payload 01 02: CRC ok"},
    {"NoiseWithoutAFrameIsLogged",
     [](FakePort& p) {
         p.line = NOISE;
         p.failure = LinkFailure::NoAnswer;
     },
     receive, "<< 00 11 FF | no packet: failed (no answer)"},
    {"AGarbledEchoIsLoggedAsItCame",
     [](FakePort& p) {
         p.succeeds = false;
         p.failure = LinkFailure::WrongEcho;
         p.line = QUERY_FRAME;
         p.line[2] ^= 0x01;
     },
     sendQuery,
     ">> E1 6C 3A EB EE E1 6D | to 1 from 6 command 6 payload 3A: failed (wrong echo); "
     "received E1 6C 3B EB EE E1 6D"},
    {"ACleanEchoIsNotLoggedTwice", [](FakePort& p) { p.line = QUERY_FRAME; }, sendQuery,
     ">> E1 6C 3A EB EE E1 6D | to 1 from 6 command 6 payload 3A: echo ok"},
    {"ReceiveWithoutPayloadHasNoCrcToCheck", [](FakePort& p) { p.frame = firmwareAnswer({}); },
     receive, "<< to 6 from 1 command 6 payload (none)"},
    {"ReceiveWithoutCrcFromRecovery",
     [](FakePort& p) {
         p.frame = FrameBytes::frame(Packet::ADDRESS_HOST, Packet::ADDRESS_RECOVERY, 2, {0x52});
     },
     receive, "<< to 6 from 0 command 2 payload 52"},
    {"ReceiveNothing", [](FakePort& p) { p.failure = LinkFailure::NoAnswer; }, receive,
     "<< no packet: failed (no answer)"},
    {"DtrOn", succeeding, [](SerialBase& p) { return std::to_string(p.setDTR(true)); },
     "DTR on: ok"},
    {"DtrOffFails", failing, [](SerialBase& p) { return std::to_string(p.setDTR(false)); },
     "DTR off: failed"},
    {"RtsOn", succeeding, [](SerialBase& p) { return std::to_string(p.setRTS(true)); },
     "RTS on: ok"},
    {"ModemLines", [](FakePort& p) { p.lines[2] = p.lines[3] = 1; }, modemLines,
     "lines CTS 0 DSR 0 RING 1 DCD 1"},
    {"ModemLinesFail", failing, modemLines, "lines: failed"},
};

void PrintTo(const TraceCase& c, std::ostream* out)
{
    *out << c.name;
}

class TracedCall : public ::testing::TestWithParam<TraceCase> {};

// The time stamp: milliseconds with three decimals, right-aligned in eight
// columns, then a blank.
const std::regex STAMP(R"(^ *\d+\.\d{3} )");

std::string eventOf(const std::string& line)
{
    std::smatch stamp;
    EXPECT_TRUE(std::regex_search(line, stamp, STAMP)) << line;
    EXPECT_GE(stamp.length(0), 9) << line;
    return stamp.empty() ? line : line.substr(static_cast<size_t>(stamp.length(0)));
}

TEST_P(TracedCall, IsOneLineAndLeavesTheResultAsThePortGaveIt)
{
    const TraceCase& c = GetParam();
    FakePort bare;
    c.arrange(bare);
    const std::string expected = c.call(bare);

    auto inner = std::make_unique<FakePort>();
    c.arrange(*inner);
    Lines lines;
    TracingPort traced(std::move(inner), [&lines](const std::string& l) { lines.push_back(l); });
    EXPECT_EQ(c.call(traced), expected);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(eventOf(lines[0]), c.line);
}

INSTANTIATE_TEST_SUITE_P(Events, TracedCall, ::testing::ValuesIn(TRACE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TracingPort, APortStillOpenEndsTheTraceWhenReleased)
{
    Lines lines;
    {
        TracingPort traced(std::make_unique<FakePort>(),
                           [&lines](const std::string& l) { lines.push_back(l); });
        ASSERT_TRUE(traced.open("ttyUSB0", 1));
    }
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(eventOf(lines[1]), "close (port released)");
}

TEST(TracingPort, PassesOnTheOpenFailureAndNoLineForThePortList)
{
    auto inner = std::make_unique<FakePort>();
    inner->succeeds = false;
    Lines lines;
    TracingPort traced(std::move(inner), [&lines](const std::string& l) { lines.push_back(l); });
    EXPECT_EQ(traced.openFailure(), SerialBase::OpenFailure::NoSuchPort);
    EXPECT_STREQ(traced.openError(), "no such port");
    char name[16];
    EXPECT_FALSE(traced.enumeratePort(0, name, sizeof name));
    traced.sleep(0);
    EXPECT_TRUE(lines.empty());
}

// ---- over a pseudo-terminal, with a scripted adapter and device ------------

double stampOf(const std::string& line)
{
    return std::stod(line.substr(0, 8));
}

// One request to the firmware through a traced SerialWin, answered by the
// script; the trace's lines and the answer.
struct Exchange {
    Lines lines;
    std::unique_ptr<Packet> answer;
    LinkFailure failure = LinkFailure::None;
    Bytes requestFrame; // as the far end received it
};

Exchange exchange(const ScriptedLink::ScriptedDevice::Script& script)
{
    Exchange result;
    ScriptedLink::ScriptedDevice device(PrivateRuntimeDir::uniquePortName("ttyTRACE"), script);
    TracingPort traced(std::make_unique<SerialWin>(),
                       [&result](const std::string& l) { result.lines.push_back(l); });
    EXPECT_TRUE(traced.open(device.portName(), 1));
    Packet request;
    EXPECT_TRUE(FrameBytes::fill(request, Packet::ADDRESS_FIRMWARE, Packet::ADDRESS_HOST, 6,
                                 {0x3A}));
    EXPECT_TRUE(traced.sendPacket(request));
    result.answer.reset(traced.receivePacket());
    result.failure = traced.packetFailure();
    traced.close();
    if (!device.frames().empty())
        result.requestFrame = device.frames().front();
    if (!result.lines.empty()) {
        EXPECT_EQ(eventOf(result.lines[0]),
                  "open " + std::string(device.portName()) + " mode 1: ok");
    }
    return result;
}

const Bytes ANSWER_PAYLOAD = {0x10, 0x20};

TEST(TracingPortPty, TracesTheExchangeThatCrossedTheWire)
{
    PrivateRuntimeDir runtime;
    ASSERT_TRUE(runtime.isReady());
    const Exchange e = exchange([](const Packet& request, const Bytes&) {
        return FrameBytes::answerTo(request, ANSWER_PAYLOAD);
    });
    ASSERT_TRUE(e.answer);
    EXPECT_EQ(Bytes(e.answer->payload(), e.answer->payload() + e.answer->payloadLength()),
              ANSWER_PAYLOAD);
    EXPECT_EQ(e.failure, LinkFailure::None);

    ASSERT_EQ(e.lines.size(), 4u);
    EXPECT_EQ(eventOf(e.lines[1]), ">> " + TracingPort::hex(e.requestFrame.data(),
                                                            e.requestFrame.size())
                                       + " | to 1 from 6 command 6 payload 3A: echo ok");
    EXPECT_EQ(eventOf(e.lines[2]), "<< to 6 from 1 command 6 payload 10 20: CRC ok");
    EXPECT_EQ(eventOf(e.lines[3]), "close");
    for (size_t i = 1; i < e.lines.size(); ++i)
        EXPECT_LE(stampOf(e.lines[i - 1]), stampOf(e.lines[i])) << e.lines[i];
}

TEST(TracingPortPty, AnAnswerWithABadCrcIsTracedAsRefusedAndKeepsItsReason)
{
    PrivateRuntimeDir runtime;
    ASSERT_TRUE(runtime.isReady());
    const Exchange e = exchange([](const Packet& request, const Bytes&) {
        return corrupted(FrameBytes::answerTo(request, ANSWER_PAYLOAD));
    });
    ASSERT_TRUE(e.answer);
    EXPECT_EQ(e.answer->payloadLength(), 0u);
    EXPECT_EQ(e.failure, LinkFailure::BadCrc);
    ASSERT_EQ(e.lines.size(), 4u);
    const Bytes sent = corrupted(FrameBytes::frame(Packet::ADDRESS_HOST, Packet::ADDRESS_FIRMWARE,
                                                   6, ANSWER_PAYLOAD));
    EXPECT_EQ(eventOf(e.lines[2]), "<< " + TracingPort::hex(sent.data(), sent.size())
                                       + " | to 6 from 1 command 6 payload (none): CRC refused");
}

// Bytes that start no frame are skipped on the way to the answer; the
// trace still shows every one of them, where the line put them.
TEST(TracingPortPty, NoiseBeforeAnAnswerIsLoggedWithIt)
{
    PrivateRuntimeDir runtime;
    ASSERT_TRUE(runtime.isReady());
    const Exchange e = exchange([](const Packet& request, const Bytes&) {
        return concatenated(NOISE, FrameBytes::answerTo(request, ANSWER_PAYLOAD));
    });
    ASSERT_TRUE(e.answer);
    EXPECT_EQ(e.failure, LinkFailure::None);
    ASSERT_EQ(e.lines.size(), 4u);
    const Bytes line = concatenated(
        NOISE, FrameBytes::frame(Packet::ADDRESS_HOST, Packet::ADDRESS_FIRMWARE, 6, ANSWER_PAYLOAD));
    EXPECT_EQ(eventOf(e.lines[2]), "<< " + TracingPort::hex(line.data(), line.size())
                                       + " | to 6 from 1 command 6 payload 10 20: CRC ok");
}

TEST(TracingPortPty, AFailedOpenIsTracedWithItsReason)
{
    PrivateRuntimeDir runtime;
    ASSERT_TRUE(runtime.isReady());
    Lines lines;
    TracingPort traced(std::make_unique<SerialWin>(),
                       [&lines](const std::string& l) { lines.push_back(l); });
    const std::string name = PrivateRuntimeDir::uniquePortName("ttyNONE");
    EXPECT_FALSE(traced.open(name.c_str(), 1));
    EXPECT_EQ(traced.openFailure(), SerialBase::OpenFailure::NoSuchPort);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(eventOf(lines[0]),
              "open " + name + " mode 1: failed (" + traced.openError() + ")");
}

} // namespace
