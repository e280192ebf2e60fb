#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace ZORVI {
class Control;
class Update;
namespace Cli {

// The progress bar of `zorvik update`: percent, bytes, rate and time left.
//
// The controller reports only a percentage, through a plain function, once
// before each record goes out. Knowing the record sizes of the update being
// sent, the bar turns the n-th report into exact byte counts: the records
// before the n-th are acknowledged, the n-th is on its way.
class TransferProgress {
public:
    TransferProgress(const Update& update, std::FILE* out);
    ~TransferProgress();
    TransferProgress(const TransferProgress&) = delete;
    TransferProgress& operator=(const TransferProgress&) = delete;

    // Makes this bar the controller's progress function until destroyed,
    // and shows it at 0 while the device is asked into its receiving mode.
    void install(Control& control);
    // Ends the bar after the transfer.
    void finish(bool success);

private:
    using Clock = std::chrono::steady_clock;

    static void report(int percent, void* unused);
    void step(int percent);
    void draw(int percent, bool final);
    uint32_t bytesBefore(size_t records) const;

    std::vector<uint16_t> m_sizes;
    uint32_t m_total = 0;
    size_t m_reports = 0;
    uint32_t m_acknowledged = 0;
    uint32_t m_onTheWay = 0;
    Clock::time_point m_firstRecord;
    bool m_interactive;
    int m_lastLinePercent = -1;
    std::FILE* m_out;
    Control* m_control = nullptr;
};

} // namespace Cli
} // namespace ZORVI
