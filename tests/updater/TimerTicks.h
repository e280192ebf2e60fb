#pragma once

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace UpdaterTest {

// Waits until the timer has fired `ticks` more times. The spy connects after
// the owner's own slots, so by then the owner has handled those ticks (a
// poll has seen what changed before the wait began). False after timeoutMs.
inline bool waitForTicks(QTimer* timer, int ticks, int timeoutMs = 5000)
{
    if (!timer)
        return false;
    QSignalSpy fired(timer, &QTimer::timeout);
    return QTest::qWaitFor([&] { return fired.count() >= ticks; }, timeoutMs);
}

} // namespace UpdaterTest
