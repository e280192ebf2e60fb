#pragma once

#include "DeviceConnection.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace ZORVI {

// Tries an open again that failed because the port is busy, while the
// port is new: ModemManager (where it runs) opens every serial port that
// appears and probes it for a few seconds, so the first open of an adapter
// just plugged in, and just found by the auto-detection, can fail "in
// use". The windows note their port list after each change; a port that
// joined it less than FRESH_PORT_MS ago gets its open again every
// RETRY_INTERVAL_MS, from the event loop (the window stays responsive),
// until it opens or stops being new. Ports listed at the first note are of
// unknown age and not retried.
class BusyPortRetry : public QObject {
    Q_OBJECT

public:
    static constexpr int FRESH_PORT_MS = 10000;
    static constexpr int RETRY_INTERVAL_MS = 500;

    explicit BusyPortRetry(QObject* parent = nullptr, int freshPortMs = FRESH_PORT_MS);

    // The ports the window lists now.
    void noteList(const QStringList& ports);
    // True when the open of `port` that ended in `outcome` is tried again:
    // `again` runs after RETRY_INTERVAL_MS (unless cancelled). False, and
    // nothing scheduled, for any other failure or a port that is not new.
    bool retry(const QString& port, DeviceConnection::Outcome outcome,
               std::function<void()> again);
    // The user chose otherwise (another port, a disconnect, a run).
    void cancel();
    bool isPending() const { return m_timer.isActive(); }
    bool isFresh(const QString& port) const;

    // What the window says while it waits to try again.
    static QString waitingText(const QString& port);

private:
    QHash<QString, QElapsedTimer> m_appeared;
    bool m_listNoted = false;
    int m_freshPortMs;
    QTimer m_timer;
    std::function<void()> m_again;
};

} // namespace ZORVI
