#include "BusyPortRetry.h"

namespace ZORVI {

BusyPortRetry::BusyPortRetry(QObject* parent, int freshPortMs)
    : QObject(parent)
    , m_freshPortMs(freshPortMs)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(RETRY_INTERVAL_MS);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        const std::function<void()> again = std::move(m_again);
        m_again = nullptr;
        if (again)
            again();
    });
}

void BusyPortRetry::noteList(const QStringList& ports)
{
    QHash<QString, QElapsedTimer> appeared;
    for (const QString& port : ports) {
        const auto known = m_appeared.constFind(port);
        if (known != m_appeared.constEnd()) {
            appeared.insert(port, *known);
            continue;
        }
        QElapsedTimer since; // invalid: of unknown age
        if (m_listNoted)
            since.start();
        appeared.insert(port, since);
    }
    m_appeared = appeared;
    m_listNoted = true;
}

bool BusyPortRetry::isFresh(const QString& port) const
{
    const auto found = m_appeared.constFind(port);
    return found != m_appeared.constEnd() && found->isValid()
        && !found->hasExpired(m_freshPortMs);
}

bool BusyPortRetry::retry(const QString& port, DeviceConnection::Outcome outcome,
                          std::function<void()> again)
{
    if (outcome != DeviceConnection::Outcome::PortInUse || !isFresh(port))
        return false;
    m_again = std::move(again);
    m_timer.start();
    return true;
}

void BusyPortRetry::cancel()
{
    m_timer.stop();
    m_again = nullptr;
}

QString BusyPortRetry::waitingText(const QString& port)
{
    return tr("%1 is busy: another program (such as ModemManager) is probing the new port. "
              "Trying again...")
        .arg(port);
}

} // namespace ZORVI
