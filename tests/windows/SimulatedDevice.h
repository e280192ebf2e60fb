#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>

// A fixture for tests that talk to the device simulator through a COM port
// under wine. run.sh starts zorvik-sim on a pseudo-terminal, maps it to a COM
// port and names that port in ZORVIK_TEST_PORT; ZORVIK_TEST_DEVICE says what
// the simulator plays ("firmware", "recovery" or "update"). A test whose
// device is not behind the port is skipped, so the binary can run anywhere.
class SimulatedDevice : public ::testing::Test {
protected:
    // role null: any simulator will do.
    explicit SimulatedDevice(const char* role) : m_role(role) {}

    void SetUp() override;

    const char* port() const { return m_port.c_str(); }
    // Empty when the variable is not set.
    static std::string environment(const char* name);

    using Clock = std::chrono::steady_clock;
    static long long millisecondsSince(Clock::time_point start);

private:
    const char* m_role;
    std::string m_port;
};
