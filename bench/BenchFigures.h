#pragma once

// Repeated measurements of one benchmark figure, summarised as the best and
// the median run: the machine is shared, so single runs say little.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <vector>

class BenchFigures {
public:
    // higherIsBetter: rates (transactions/s); otherwise durations.
    explicit BenchFigures(bool higherIsBetter)
        : m_higherIsBetter(higherIsBetter)
    {
    }

    void add(double value) { m_values.push_back(value); }
    bool empty() const { return m_values.empty(); }
    size_t count() const { return m_values.size(); }

    double best() const
    {
        return m_higherIsBetter ? *std::max_element(m_values.begin(), m_values.end())
                                : *std::min_element(m_values.begin(), m_values.end());
    }

    double worst() const
    {
        return m_higherIsBetter ? *std::min_element(m_values.begin(), m_values.end())
                                : *std::max_element(m_values.begin(), m_values.end());
    }

    // The middle run; for an even count the mean of the two middle runs.
    double median() const
    {
        std::vector<double> sorted = m_values;
        std::sort(sorted.begin(), sorted.end());
        const size_t middle = sorted.size() / 2;
        return sorted.size() % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
    }

    // The machine's load averages (1, 5 and 15 minutes), printed with the
    // figures because a busy machine moves them more than any change does.
    static void printLoad(const char* when)
    {
        double load[3] = {0, 0, 0};
        if (getloadavg(load, 3) == 3)
            std::printf("load average %s: %.2f %.2f %.2f\n", when, load[0], load[1], load[2]);
    }

    // User and system CPU time of this process so far.
    static double processCpuSeconds()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec
            + usage.ru_stime.tv_usec / 1e6;
    }

private:
    bool m_higherIsBetter;
    std::vector<double> m_values;
};
