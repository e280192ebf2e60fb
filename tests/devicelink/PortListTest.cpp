// The port list the programs offer: read through a port object that only
// answers enumeratePort (a scripted system list), bounded and terminated
// however the system answers, sorted in byte order, and followed from one
// reading to the next as the windows follow it.
#include "PortList.h"

#include "Packet.h"
#include "SerialBase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

using ZORVI::Communication::Packet;
using ZORVI::Communication::PortList;
using ZORVI::Communication::Serial::SerialBase;
using Names = PortList::Names;

namespace {

// The system's list as a port object reports it. Every other operation of
// a port fails: listing the ports must not touch the line.
class ScriptedPortList : public SerialBase {
public:
    Names names;
    // A list with no end that fills the whole buffer with one letter and no
    // terminator, as a broken registry value would.
    bool endless = false;
    uint32_t calls = 0;
    uint32_t largestIndex = 0;
    uint32_t bufferSizeSeen = 0;

    bool enumeratePort(uint32_t index, char* buffer, uint32_t bufferSize) override
    {
        ++calls;
        largestIndex = std::max(largestIndex, index);
        bufferSizeSeen = bufferSize;
        if (endless) {
            std::memset(buffer, 'X', bufferSize);
            return true;
        }
        if (index >= names.size() || names[index].size() >= bufferSize)
            return false;
        std::memcpy(buffer, names[index].c_str(), names[index].size() + 1);
        return true;
    }

    bool open(const char*, int) override { return false; }
    void close() override {}
    void purge() override {}
    bool sendPacket(const Packet&) override { return false; }
    Packet* receivePacket() override { return nullptr; }
    bool setDTR(bool) override { return false; }
    bool setRTS(bool) override { return false; }
    bool getModemLines(uint8_t*) override { return false; }
    void sleep(uint32_t) override {}
    bool write(const uint8_t*, uint32_t, uint32_t*) override { return false; }
    bool read(uint8_t*, uint32_t, uint32_t*) override { return false; }
    const char* openError() const override { return "not a port"; }
    OpenFailure openFailure() const override { return OpenFailure::Other; }
};

TEST(PortList, PresentIsTheSystemsListInItsOrder)
{
    ScriptedPortList system;
    system.names = {"COM3", "COM10", "COM1"};
    PortList ports(system);
    EXPECT_EQ(ports.present(), (Names{"COM3", "COM10", "COM1"}));
    // Asked once per name and once more for the end.
    EXPECT_EQ(system.calls, 4u);
    EXPECT_EQ(system.bufferSizeSeen, PortList::NAME_SIZE);
}

TEST(PortList, AnEmptySystemListIsEmpty)
{
    ScriptedPortList system;
    PortList ports(system);
    EXPECT_TRUE(ports.present().empty());
    EXPECT_FALSE(ports.update());
    EXPECT_TRUE(ports.known().empty());
}

TEST(PortList, AnEndlessListStopsAtTheBoundWithTerminatedNames)
{
    ScriptedPortList system;
    system.endless = true;
    PortList ports(system);
    const Names names = ports.present();
    ASSERT_EQ(names.size(), PortList::MAX_PORTS);
    EXPECT_EQ(system.largestIndex, PortList::MAX_PORTS - 1);
    // Each name is the buffer less its last byte, which ends the name.
    const std::string cut(PortList::NAME_SIZE - 1, 'X');
    EXPECT_TRUE(std::all_of(names.begin(), names.end(),
                            [&](const std::string& name) { return name == cut; }));
}

TEST(PortList, SortedPresentIsInByteOrder)
{
    ScriptedPortList system;
    system.names = {"za", "COM3", "ZA", "COM10", "/dev/ttyUSB0"};
    PortList ports(system);
    EXPECT_EQ(ports.sortedPresent(), (Names{"/dev/ttyUSB0", "COM10", "COM3", "ZA", "za"}));
}

// One reading after another: whether the known list changed, and what it
// holds then.
struct Reading {
    Names present;
    bool changed;
    Names known;
};

struct FollowCase {
    const char* name;
    std::vector<Reading> readings;
};

// Named by its case in the test list, not dumped as bytes.
void PrintTo(const FollowCase& followCase, std::ostream* out)
{
    *out << followCase.name;
}

class PortListFollows : public testing::TestWithParam<FollowCase> {};

TEST_P(PortListFollows, TheSystemsList)
{
    ScriptedPortList system;
    PortList ports(system);
    int step = 0;
    for (const Reading& reading : GetParam().readings) {
        system.names = reading.present;
        EXPECT_EQ(ports.update(), reading.changed) << "reading " << step;
        EXPECT_EQ(ports.known(), reading.known) << "reading " << step;
        ++step;
    }
}

const FollowCase FOLLOW_CASES[] = {
    {"FirstReadingSorts", {{{"COM3", "COM10"}, true, {"COM10", "COM3"}}}},
    {"SameNamesInAnotherOrderAreNoChange",
     {{{"COM3", "COM10"}, true, {"COM10", "COM3"}}, {{"COM10", "COM3"}, false, {"COM10", "COM3"}}}},
    {"PluggedInTakesItsSortedPlace",
     {{{"COM3", "COM10"}, true, {"COM10", "COM3"}},
      {{"COM3", "COM10", "COM1"}, true, {"COM1", "COM10", "COM3"}}}},
    {"UnpluggedLeaves",
     {{{"COM1", "COM3"}, true, {"COM1", "COM3"}}, {{"COM3"}, true, {"COM3"}}}},
    {"AllGone", {{{"COM1"}, true, {"COM1"}}, {{}, true, {}}}},
    {"OneGoneAnotherCome", {{{"ZA"}, true, {"ZA"}}, {{"ZB"}, true, {"ZB"}}}},
    {"NamesDifferingInCaseOnly", {{{"ZA"}, true, {"ZA"}}, {{"za", "ZA"}, true, {"ZA", "za"}}}},
};

INSTANTIATE_TEST_SUITE_P(Readings, PortListFollows, testing::ValuesIn(FOLLOW_CASES),
                         [](const testing::TestParamInfo<FollowCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
