#pragma once

// Drives a DeviceSimulator without any terminal: encodes requests as the
// host does, feeds the frame bytes in and splits what comes back into the
// adapter's echo and the device's answer frames.

#include "DeviceSimulator.h"
#include "FrameAssembler.h"
#include "FrameBytes.h"
#include "HexText.h"
#include "Packet.h"
#include "ParameterTable.h"
#include "SimulatorOptions.h"
#include "SimulatorSetup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct DecodedAnswer {
    int32_t destination = 255;
    int32_t source = 255;
    uint8_t command = 255;
    Bytes payload;
    bool crcAccepted = false;
};

class EngineHarness {
public:
    using Device = ZORVI::Simulator::DeviceSimulator;
    using Packet = ZORVI::Communication::Packet;

    // Parses the options and shapes the parameter table as the simulator's
    // command line would (a --state file is the test's to attach).
    explicit EngineHarness(const std::vector<std::string>& arguments = {})
    {
        std::string error;
        parsed = ZORVI::Simulator::SimulatorOptions::parse(arguments, options, error)
            && ZORVI::Simulator::SimulatorSetup::describeParameters(options, parameters, error);
        EXPECT_TRUE(parsed) << error;
        device = std::make_unique<Device>(options, parameters);
        device->setLogSink([this](const std::string& line) { log.push_back(line); });
    }

    // Everything the host would read back for these bytes.
    Bytes feed(const Bytes& bytes) { return device->receive(bytes, now); }

    // Sends a request; checks that the echo is the request itself and
    // returns the device's answer, if it sent one.
    std::optional<DecodedAnswer> ask(int32_t destination, uint8_t command,
                                     const Bytes& payload = {})
    {
        const Bytes request = FrameBytes::request(destination, command, payload);
        const Bytes back = feed(request);
        const bool echoed = !options.noEcho;
        if (echoed) {
            EXPECT_GE(back.size(), request.size());
            if (back.size() < request.size())
                return std::nullopt;
            EXPECT_EQ(Bytes(back.begin(), back.begin() + request.size()), request);
        }
        const std::vector<Bytes> answers =
            framesIn(Bytes(back.begin() + (echoed ? request.size() : 0), back.end()));
        EXPECT_LE(answers.size(), 1u);
        if (answers.empty())
            return std::nullopt;
        return decode(answers.front());
    }

    static std::vector<Bytes> framesIn(const Bytes& bytes)
    {
        std::vector<Bytes> frames;
        ZORVI::Communication::FrameAssembler assembler;
        for (uint8_t byte : bytes) {
            if (assembler.push(byte) == ZORVI::Communication::FrameAssembler::Step::Complete) {
                frames.emplace_back(assembler.frame(), assembler.frame() + assembler.length());
                assembler.reset();
            }
        }
        return frames;
    }

    static DecodedAnswer decode(const Bytes& frame)
    {
        Packet packet;
        DecodedAnswer answer;
        answer.crcAccepted = packet.decode(frame.data(), static_cast<uint16_t>(frame.size()), true);
        answer.destination = packet.destination();
        answer.source = packet.source();
        answer.command = packet.command();
        answer.payload.assign(packet.payload(), packet.payload() + packet.payloadLength());
        return answer;
    }

    // Lets time pass; returns what the device sent meanwhile.
    Bytes wait(std::chrono::milliseconds duration)
    {
        now += duration;
        return device->advance(now);
    }

    bool parsed = false;
    ZORVI::Simulator::SimulatorOptions options;
    ZORVI::Simulator::ParameterTable parameters;
    std::unique_ptr<Device> device;
    std::vector<std::string> log;
    Device::TimePoint now = Device::Clock::now();
};

inline Bytes hexBytes(const char* text)
{
    Bytes bytes;
    EXPECT_TRUE(ZORVI::Simulator::HexText::parse(text, bytes)) << text;
    return bytes;
}
