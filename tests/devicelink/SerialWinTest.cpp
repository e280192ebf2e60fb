// The port of the device link over a pseudo-terminal: the test plays the
// KORLINK adapter (and the device behind it) on the master side.

#include "FrameAssembler.h"
#include "FrameBytes.h"
#include "LinkFailure.h"
#include "NoisyPeer.h"
#include "Packet.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "PtyPair.h"
#include "SerialWin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

using ZORVI::LinkFailure;
using ZORVI::Communication::FrameAssembler;
using ZORVI::Communication::Packet;
using ZORVI::Communication::Serial::PortMap;
using ZORVI::Communication::Serial::SerialWin;

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// A port on a fresh pty, reached by name through the port map.
class SerialWinPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isReady());
        ASSERT_TRUE(pty.isOpen());
        portName = PrivateRuntimeDir::uniquePortName("ttyKORLINK");
        ASSERT_TRUE(PortMap::add(portName, pty.slavePath()));
    }

    void openPort() { ASSERT_TRUE(serial.open(portName.c_str(), 1)); }

    Bytes readFrame()
    {
        uint16_t length = 0;
        std::unique_ptr<uint8_t[]> frame(serial.readFrame(&length));
        return frame ? Bytes(frame.get(), frame.get() + length) : Bytes();
    }

    PrivateRuntimeDir runtime;
    PtyPair pty;
    std::string portName;
    SerialWin serial;
};

// ---- opening ----------------------------------------------------------------

TEST_F(SerialWinPty, OpensByNameAt115200RawInEachMode)
{
    for (int mode : {0, 1}) {
        ASSERT_TRUE(serial.open(portName.c_str(), mode)) << mode;
        EXPECT_TRUE(serial.isOpen());
        termios tio;
        ASSERT_EQ(tcgetattr(pty.slave(), &tio), 0);
        EXPECT_EQ(cfgetospeed(&tio), speed_t(B115200));
        // (A pty reports CS8 without parity whatever it is given, so the
        // parity of mode 0 does not show here.)
        EXPECT_EQ(tio.c_cflag & CSTOPB, 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    }
}

TEST_F(SerialWinPty, AnUnknownPortDoesNotOpenAndSendsNothing)
{
    EXPECT_FALSE(serial.open(PrivateRuntimeDir::uniquePortName("ttyNOWHERE").c_str(), 1));
    EXPECT_FALSE(serial.isOpen());
    Packet packet;
    EXPECT_TRUE(FrameBytes::fill(packet, Packet::ADDRESS_FIRMWARE, Packet::ADDRESS_HOST, 1, {}));
    EXPECT_FALSE(serial.sendPacket(packet));
    EXPECT_EQ(serial.receivePacket(), nullptr);
    EXPECT_TRUE(pty.readMaster(1, 100).empty());
}

TEST_F(SerialWinPty, HoldsThePortAloneAndReopeningReleasesTheOldOne)
{
    PtyPair otherPty;
    const std::string otherName = PrivateRuntimeDir::uniquePortName("ttyKORLINK");
    ASSERT_TRUE(PortMap::add(otherName, otherPty.slavePath()));
    openPort();

    SerialWin second;
    EXPECT_FALSE(second.open(portName.c_str(), 1)) << "no sharing while the first holds it";
    ASSERT_TRUE(serial.open(otherName.c_str(), 1));
    EXPECT_TRUE(second.open(portName.c_str(), 1)) << "the earlier port was closed";
}

TEST_F(SerialWinPty, ModemLinesOfAPtyReadAsFailureWithAllFlagsClear)
{
    openPort();
    uint8_t flags[4] = {1, 1, 1, 1};
    EXPECT_FALSE(serial.getModemLines(flags));
    EXPECT_EQ(Bytes(flags, flags + 4), Bytes(4, 0));
    EXPECT_TRUE(serial.setDTR(true));
    EXPECT_TRUE(serial.setRTS(false));
}

TEST_F(SerialWinPty, RawBytesGoOutAndComeBack)
{
    openPort();
    const Bytes probe = {'Z', 'O', 'R', 'V', 'I', 'K', 0};
    uint32_t written = 99;
    ASSERT_TRUE(serial.write(probe.data(), static_cast<uint32_t>(probe.size()), &written));
    EXPECT_EQ(written, probe.size());
    const Bytes seen = pty.readMaster(probe.size(), 2000);
    EXPECT_EQ(seen, probe);

    ASSERT_TRUE(pty.writeMaster(seen));
    Bytes echo(64);
    uint32_t got = 99;
    ASSERT_TRUE(serial.read(echo.data(), static_cast<uint32_t>(echo.size()), &got));
    echo.resize(got);
    EXPECT_EQ(echo, probe);
}

// The look behind an answer of known length reads under time-outs of its
// own; every read after it waits the port's whole time-out again, so that
// a device that answers late is still heard.
TEST_F(SerialWinPty, ReadsAfterAnAnswerOfKnownLengthWaitTheWholeTimeOutAgain)
{
    openPort();
    const Bytes probe = {'Z', 'O', 'R', 'V', 'I', 'K', 0};
    ASSERT_TRUE(pty.writeMaster(probe));
    Bytes echo(probe.size() + 1);
    uint32_t got = 99;
    ASSERT_TRUE(serial.readExpected(echo.data(), static_cast<uint32_t>(probe.size()),
                                    static_cast<uint32_t>(echo.size()), &got));
    echo.resize(got);
    EXPECT_EQ(echo, probe);

    const Bytes frame = {0xE3, 0x15};
    std::thread lateDevice([&] {
        // Well past the look's own time-out, well inside the port's.
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        pty.writeMaster(frame);
    });
    const Bytes read = readFrame();
    lateDevice.join();
    EXPECT_EQ(read, frame);
}

// ---- cutting frames out of the byte stream ----------------------------------

struct FrameCase {
    const char* name;
    Bytes stream;
    Bytes frame;
};

std::ostream& operator<<(std::ostream& out, const FrameCase& c)
{
    return out << c.name;
}

Bytes concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const FrameCase FRAME_CASES[] = {
    {"GarbageBeforeTheStartByteIsSkipped", concat(NoisyPeer::everyNonStartByte(), {0xE1, 0x13}),
     {0xE1, 0x13}},
    {"OddSecondByteEndsATwoByteFrame", {0xE1, 0x13}, {0xE1, 0x13}},
    {"ClosingPairEndsTheFrame", {0xE1, 0x10, 0x05, 0xE1, 0x11}, {0xE1, 0x10, 0x05, 0xE1, 0x11}},
    {"OtherFirstByteDoesNotClose",
     {0xE1, 0x10, 0x05, 0xE2, 0x11, 0x06, 0xE1, 0x11},
     {0xE1, 0x10, 0x05, 0xE2, 0x11, 0x06, 0xE1, 0x11}},
    {"FirstByteWithEvenSecondDoesNotClose",
     {0xE1, 0x10, 0xE1, 0x10, 0x07, 0xE1, 0x11},
     {0xE1, 0x10, 0xE1, 0x10, 0x07, 0xE1, 0x11}},
    {"RepeatedFirstByteStillCloses", {0xE1, 0x10, 0xE1, 0xE1, 0x11}, {0xE1, 0x10, 0xE1, 0xE1, 0x11}},
};

class ReadFrame : public SerialWinPty, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(ReadFrame, CutsTheFrameAndLeavesTheRest)
{
    openPort();
    const Bytes next = {0xE3, 0x15};
    ASSERT_TRUE(pty.writeMaster(concat(GetParam().stream, next)));
    EXPECT_EQ(readFrame(), GetParam().frame);
    EXPECT_EQ(readFrame(), next);
}

INSTANTIATE_TEST_SUITE_P(Pty, ReadFrame, ::testing::ValuesIn(FRAME_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// A frame body of `length` bytes with nothing in it that closes it.
Bytes unclosedFrame(size_t length)
{
    Bytes bytes(length, 0x00);
    bytes[0] = 0xE1;
    bytes[1] = 0x10;
    return bytes;
}

TEST_F(SerialWinPty, FramesEndAt8192Bytes)
{
    openPort();
    const size_t bound = FrameAssembler::MAX_FRAME_LENGTH;
    const Bytes longest = concat(unclosedFrame(bound - 2), {0xE1, 0x11});
    const Bytes tooLong = unclosedFrame(bound);
    const Bytes next = {0xE2, 0x13};
    // More than the pty holds at once: the far end writes while the port reads.
    std::thread farEnd([&] { pty.writeMaster(concat(concat(longest, tooLong), next), 20000); });
    const Bytes first = readFrame();
    const Bytes second = readFrame();
    const Bytes third = readFrame();
    farEnd.join();
    EXPECT_EQ(first, longest);
    EXPECT_TRUE(second.empty()) << "no frame longer than 8192 bytes";
    EXPECT_EQ(third, next) << "the refused frame took exactly 8192 bytes";
}

// ---- every frame read ends ---------------------------------------------------

// `count` bytes of line noise: every byte that cannot start a frame, in turn.
Bytes noiseOf(size_t count)
{
    const Bytes pattern = NoisyPeer::everyNonStartByte();
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = pattern[i % pattern.size()];
    return bytes;
}

TEST_F(SerialWinPty, SkipsAtMost8192BytesBeforeAStartByte)
{
    openPort();
    const size_t bound = FrameAssembler::MAX_SKIPPED_BYTES;
    const Bytes frame = {0xE2, 0x13};
    const Bytes stream = concat(concat(noiseOf(bound - 1), frame), concat(noiseOf(bound), frame));
    // More than the pty holds at once: the far end writes while the port reads.
    std::thread farEnd([&] { pty.writeMaster(stream, 20000); });
    const Bytes first = readFrame();
    const Bytes second = readFrame();
    const Bytes third = readFrame();
    farEnd.join();
    EXPECT_EQ(first, frame) << "8191 bytes of noise are skipped";
    EXPECT_TRUE(second.empty()) << "8192 bytes of noise end the read";
    EXPECT_EQ(third, frame) << "the read gave up on exactly 8192 bytes";
}

using Milliseconds = std::chrono::milliseconds;

long long millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<Milliseconds>(Clock::now() - start).count();
}

// How late a read may end on a loaded machine under the sanitizers.
constexpr long long LATE_MS = 2500;
// A peer that outlives this keeps a read that never ends busy well past its
// bound, so that such a read fails the test instead of hanging it.
constexpr int PEER_BUDGET_MS = SerialWin::FRAME_READ_DEADLINE_MS + LATE_MS + 5000;

// A byte that is not a start byte, then a frame that starts and never
// closes, each trickled in just faster than the one-byte read time-out.
constexpr int TRICKLE_MS = 2000;
const Bytes UNCLOSED_FRAME = {0xE1, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

struct EndlessCase {
    const char* name;
    NoisyPeer::Noise noise;
    bool lastsTheWholeDeadline; // false where the skip bound ends the read first
};

std::ostream& operator<<(std::ostream& out, const EndlessCase& c)
{
    return out << c.name;
}

const EndlessCase ENDLESS_CASES[] = {
    {"NoiseWithoutEnd", {NoisyPeer::everyNonStartByte(), 0}, false},
    {"NoiseByteEvery2s", {{0x55}, TRICKLE_MS}, true},
    {"UnclosedFrameByteEvery2s", {UNCLOSED_FRAME, TRICKLE_MS}, true},
};

class EndlessLine : public SerialWinPty, public ::testing::WithParamInterface<EndlessCase> {};

TEST_P(EndlessLine, AFrameReadEndsWithinItsDeadline)
{
    openPort();
    NoisyPeer peer(pty, GetParam().noise, 0, PEER_BUDGET_MS);
    const Clock::time_point start = Clock::now();
    EXPECT_TRUE(readFrame().empty());
    const long long elapsed = millisecondsSince(start);
    peer.stop();
    EXPECT_LE(elapsed, SerialWin::FRAME_READ_DEADLINE_MS + LATE_MS);
    if (GetParam().lastsTheWholeDeadline) {
        EXPECT_GE(elapsed, SerialWin::FRAME_READ_DEADLINE_MS - 10) << "no shorter than silence";
    }
}

INSTANTIATE_TEST_SUITE_P(Pty, EndlessLine, ::testing::ValuesIn(ENDLESS_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// The deadline shortens the port's read time-out while a frame is read;
// the next read must have the whole time-out again, so a device that
// answers late is still heard.
TEST_F(SerialWinPty, TheReadAfterADeadlineWaitsTheWholeTimeOutAgain)
{
    openPort();
    NoisyPeer peer(pty, {UNCLOSED_FRAME, TRICKLE_MS}, 0, PEER_BUDGET_MS);
    const Clock::time_point start = Clock::now();
    EXPECT_TRUE(readFrame().empty());
    EXPECT_LE(millisecondsSince(start), SerialWin::FRAME_READ_DEADLINE_MS + LATE_MS);
    peer.stop();

    const Bytes frame = {0xE3, 0x15};
    std::thread lateDevice([&] {
        // Well inside the one-byte time-out, well past what is left of a
        // time-out shortened to the deadline.
        std::this_thread::sleep_for(Milliseconds(600));
        pty.writeMaster(frame);
    });
    const Bytes read = readFrame();
    lateDevice.join();
    EXPECT_EQ(read, frame);
}

// Writes `bytes` to the master spread evenly over `durationMs`, in pieces
// each sent at its own moment, so that one late wake-up delays no other.
void writePaced(const PtyPair& pty, const Bytes& bytes, int durationMs)
{
    constexpr size_t PIECE = 256;
    const Clock::time_point start = Clock::now();
    for (size_t done = 0; done < bytes.size(); done += PIECE) {
        const long long dueUs = 1000LL * durationMs * static_cast<long long>(done)
            / static_cast<long long>(bytes.size());
        std::this_thread::sleep_until(start + std::chrono::microseconds(dueUs));
        const size_t end = std::min(bytes.size(), done + PIECE);
        ASSERT_TRUE(pty.writeMaster(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(done),
                                          bytes.begin() + static_cast<std::ptrdiff_t>(end))));
    }
}

// An answer whose start byte comes just before the deadline is read whole,
// even the longest: it may take the longest frame's line time from its
// start byte. Here it ends well past the deadline, yet arrives faster than
// the line carries it, so that a late wake-up on a loaded machine cannot
// make it overrun that time.
TEST_F(SerialWinPty, TheLongestFrameBegunJustBeforeTheDeadlineIsReadWhole)
{
    constexpr int START_BYTE_MS = SerialWin::FRAME_READ_DEADLINE_MS - 300;
    constexpr int BODY_MS = 450;
    static_assert(START_BYTE_MS + BODY_MS > SerialWin::FRAME_READ_DEADLINE_MS + 100,
                  "the frame ends well past the deadline");
    static_assert(BODY_MS + 300 < SerialWin::LATE_FRAME_MS, "and well inside its own time");
    openPort();
    const Bytes longest =
        concat(unclosedFrame(FrameAssembler::MAX_FRAME_LENGTH - 2), {0xE1, 0x11});
    const Clock::time_point start = Clock::now();
    std::thread lateDevice([&] {
        std::this_thread::sleep_until(start + Milliseconds(START_BYTE_MS));
        ASSERT_TRUE(pty.writeMaster(Bytes(longest.begin(), longest.begin() + 1)));
        writePaced(pty, Bytes(longest.begin() + 1, longest.end()), BODY_MS);
    });
    const Bytes read = readFrame();
    lateDevice.join();
    EXPECT_EQ(read, longest);
}

// ---- packets and the adapter's echo -----------------------------------------

// The KORLINK adapter on the master side: echoes each frame the host writes
// (exactly, altered, or not at all), then lets the device answer.
class Adapter {
public:
    enum class Echo { Exact, Altered, None };

    Adapter(const PtyPair& pty, Echo echo, Bytes answer = {})
        : m_pty(pty), m_echo(echo), m_answer(std::move(answer))
    {
        if (pipe(m_stop) == 0)
            m_thread = std::thread([this] { run(); });
    }

    ~Adapter() { stop(); }

    // Frames seen, once the host has been quiet for a while.
    int stop()
    {
        if (m_thread.joinable()) {
            const char wake = 1;
            const ssize_t woken = ::write(m_stop[1], &wake, 1);
            EXPECT_EQ(woken, 1);
            m_thread.join();
            close(m_stop[0]);
            close(m_stop[1]);
        }
        return m_frames;
    }

private:
    void run()
    {
        FrameAssembler assembler;
        bool stopping = false;
        for (;;) {
            pollfd fds[2] = {{m_pty.master(), POLLIN, 0}, {m_stop[0], POLLIN, 0}};
            // After the stop request, a little silence proves that no
            // further attempt is on its way.
            const int ready = poll(fds, stopping ? 1 : 2, stopping ? 300 : -1);
            if (ready <= 0)
                return;
            if (!stopping && fds[1].revents)
                stopping = true;
            if (fds[0].revents & ~POLLIN)
                return;
            if (!(fds[0].revents & POLLIN))
                continue;
            uint8_t chunk[256];
            const ssize_t got = read(m_pty.master(), chunk, sizeof chunk);
            for (ssize_t i = 0; i < got; ++i) {
                if (assembler.push(chunk[i]) != FrameAssembler::Step::Complete)
                    continue;
                ++m_frames;
                respondTo(Bytes(assembler.frame(), assembler.frame() + assembler.length()));
                assembler.reset();
            }
        }
    }

    void respondTo(Bytes frame)
    {
        if (m_echo == Echo::None)
            return;
        if (m_echo == Echo::Altered)
            frame[2] ^= 0x01;
        m_pty.writeMaster(concat(frame, m_answer));
    }

    const PtyPair& m_pty;
    Echo m_echo;
    Bytes m_answer;
    int m_stop[2] = {-1, -1};
    std::atomic<int> m_frames{0};
    std::thread m_thread;
};

class Packets : public SerialWinPty {
protected:
    void SetUp() override
    {
        SerialWinPty::SetUp();
        if (HasFatalFailure())
            return;
        openPort();
        EXPECT_TRUE(FrameBytes::fill(request, Packet::ADDRESS_FIRMWARE, Packet::ADDRESS_HOST, 2,
                                     {0x10, 0x00, 0x10}));
    }

    Packet request;
};

// A firmware answer whose payload needs stuffing.
const Bytes ANSWER_PAYLOAD = {0x01, 0xE0, 0xE7, 0x42, 0xE6, 0x00};

TEST_F(Packets, ExactEchoSendsAndTheAnswerFollows)
{
    Packet answer;
    EXPECT_TRUE(
        FrameBytes::fill(answer, Packet::ADDRESS_HOST, Packet::ADDRESS_FIRMWARE, 2, ANSWER_PAYLOAD));
    Adapter adapter(pty, Adapter::Echo::Exact, FrameBytes::of(answer));

    ASSERT_TRUE(serial.sendPacket(request));
    std::unique_ptr<Packet> received(serial.receivePacket());
    ASSERT_NE(received, nullptr);
    EXPECT_EQ(received->destination(), Packet::ADDRESS_HOST);
    EXPECT_EQ(received->source(), Packet::ADDRESS_FIRMWARE);
    EXPECT_EQ(received->command(), 2);
    ASSERT_NE(received->payload(), nullptr);
    EXPECT_EQ(Bytes(received->payload(), received->payload() + received->payloadLength()),
              ANSWER_PAYLOAD);
    EXPECT_EQ(adapter.stop(), 1);
}

TEST_F(Packets, AnAnswerWithABadChecksumArrivesWithoutPayload)
{
    Packet answer;
    EXPECT_TRUE(FrameBytes::fill(answer, Packet::ADDRESS_HOST, Packet::ADDRESS_FIRMWARE, 2,
                                 {0x01, 0x02, 0x03}));
    Bytes frame = FrameBytes::of(answer);
    frame[3] ^= 0x01;
    ASSERT_TRUE(pty.writeMaster(frame));

    std::unique_ptr<Packet> received(serial.receivePacket());
    ASSERT_NE(received, nullptr);
    EXPECT_EQ(received->destination(), Packet::ADDRESS_HOST);
    EXPECT_EQ(received->payload(), nullptr);
}

TEST_F(Packets, AWrongEchoFailsAfterOneAttempt)
{
    Adapter adapter(pty, Adapter::Echo::Altered);
    EXPECT_FALSE(serial.sendPacket(request));
    EXPECT_EQ(adapter.stop(), 1);
}

// A line that never echoes but sends a start byte every 2.4 s, just often
// enough to keep every one-byte read alive: each attempt still ends at its
// deadline, and a frame that begins late buys only the longest frame's line
// time, not another time-out. The bytes come 2.4 s apart, so after an
// attempt that a late start byte stretched, the next start byte comes too
// early in the next attempt to stretch it: one attempt at most is longer.
TEST_F(Packets, AStartByteNowAndThenCannotStretchTheWaitForTheEcho)
{
    constexpr int START_BYTE_EVERY_MS = 2400;
    constexpr long long LONGEST_MS =
        SerialWin::SEND_ATTEMPTS * SerialWin::FRAME_READ_DEADLINE_MS + SerialWin::LATE_FRAME_MS;
    // How late the send may end on a loaded machine under the sanitizers.
    constexpr long long SEND_LATE_MS = 1200;
    NoisyPeer peer(pty, {{0xE0}, START_BYTE_EVERY_MS}, 0,
                   static_cast<int>(LONGEST_MS + SEND_LATE_MS + 5000));
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(serial.sendPacket(request));
    const long long elapsed = millisecondsSince(start);
    peer.stop();
    EXPECT_EQ(serial.packetFailure(), LinkFailure::NoEcho);
    EXPECT_GE(elapsed, SerialWin::SEND_ATTEMPTS * SerialWin::FRAME_READ_DEADLINE_MS - 10);
    EXPECT_LE(elapsed, LONGEST_MS + SEND_LATE_MS);
}

// The slowest test here: three read time-outs of 2510 ms.
TEST_F(Packets, AMissingEchoFailsAfterThreeAttempts)
{
    Adapter adapter(pty, Adapter::Echo::None);
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(serial.sendPacket(request));
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_GE(elapsed, 3 * 2510 - 10);
    EXPECT_LE(elapsed, 3 * 2510 + 1500);
    EXPECT_EQ(adapter.stop(), 3);
}

} // namespace
