#include "SimulatedDevice.h"

#include <cstdlib>

void SimulatedDevice::SetUp()
{
    m_port = environment("ZORVIK_TEST_PORT");
    if (m_port.empty())
        GTEST_SKIP() << "ZORVIK_TEST_PORT names no simulator port";
    const std::string role = environment("ZORVIK_TEST_DEVICE");
    if (m_role && role != m_role)
        GTEST_SKIP() << "needs the simulator as " << m_role << ", not '" << role << "'";
}

std::string SimulatedDevice::environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

long long SimulatedDevice::millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}
