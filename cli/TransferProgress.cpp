#include "TransferProgress.h"

#include "Console.h"
#include "Control.h"
#include "Update.h"

#include <algorithm>
#include <string>

namespace ZORVI {
namespace Cli {

namespace {

constexpr int BAR_WIDTH = 30;
// Without a terminal to redraw on, a line every tenth of the way.
constexpr int LINE_STEP_PERCENT = 10;

// The controller's progress function is a plain function; the bar that
// receives its reports is kept here.
TransferProgress* g_active = nullptr;

std::string rateText(double bytesPerSecond)
{
    char text[32];
    if (bytesPerSecond >= 1000.0)
        std::snprintf(text, sizeof text, "%.1f kB/s", bytesPerSecond / 1000.0);
    else
        std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
    return text;
}

std::string durationText(double seconds)
{
    const long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

} // namespace

TransferProgress::TransferProgress(const Update& update, std::FILE* out)
    : m_total(update.totalBytes()), m_interactive(Console::isTerminal(out)), m_out(out)
{
    for (const UpdateRecord* record = update.records(); record; record = record->next)
        m_sizes.push_back(record->size);
}

TransferProgress::~TransferProgress()
{
    if (g_active == this)
        g_active = nullptr;
    if (m_control)
        m_control->setProgressCallback(nullptr);
}

void TransferProgress::install(Control& control)
{
    g_active = this;
    m_control = &control;
    control.setProgressCallback(&TransferProgress::report);
    draw(0, false);
}

void TransferProgress::report(int percent, void*)
{
    if (g_active)
        g_active->step(percent);
}

uint32_t TransferProgress::bytesBefore(size_t records) const
{
    uint32_t sum = 0;
    for (size_t i = 0; i < std::min(records, m_sizes.size()); ++i)
        sum += m_sizes[i];
    return sum;
}

void TransferProgress::step(int percent)
{
    // Report n comes before record n (counted from 1) goes out.
    const size_t record = ++m_reports;
    if (record == 1)
        m_firstRecord = Clock::now();
    m_acknowledged = bytesBefore(record - 1);
    m_onTheWay = bytesBefore(record);
    draw(percent, false);
}

void TransferProgress::draw(int percent, bool final)
{
    if (!m_interactive && !final) {
        // The closing line shows 100 with the totals.
        if (percent >= 100 || percent / LINE_STEP_PERCENT == m_lastLinePercent / LINE_STEP_PERCENT)
            return;
        m_lastLinePercent = percent;
    }
    const int filled = std::clamp(percent, 0, 100) * BAR_WIDTH / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(BAR_WIDTH - filled), '-');

    std::string timing;
    const double elapsed =
        m_reports > 0 ? std::chrono::duration<double>(Clock::now() - m_firstRecord).count() : 0;
    if (elapsed > 0 && m_acknowledged > 0) {
        const double rate = m_acknowledged / elapsed;
        timing = "  " + rateText(rate);
        if (final)
            timing += "  in " + durationText(elapsed);
        else
            timing += "  " + durationText((m_total - m_acknowledged) / rate) + " left";
    }
    std::fprintf(m_out, "%s[%s] %3d%%  %u/%u bytes%s%s", m_interactive ? "\r" : "", bar.c_str(),
                 percent, m_onTheWay, m_total, timing.c_str(), m_interactive ? "\033[K" : "\n");
    std::fflush(m_out);
}

void TransferProgress::finish(bool success)
{
    if (success) {
        m_acknowledged = m_onTheWay = m_total;
        draw(100, true);
    }
    if (m_interactive)
        std::fputc('\n', m_out); // the bar line stays as it ended
    std::fflush(m_out);
}

} // namespace Cli
} // namespace ZORVI
