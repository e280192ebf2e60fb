#include "RepaintPacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

RepaintPacer::RepaintPacer(QWidget* window)
    : QObject(window)
    , m_window(window)
{
}

void RepaintPacer::begin()
{
    m_pacing = true;
    m_showEverything = false;
    m_held = false;
    m_sinceRepaint.invalidate();
    m_window->installEventFilter(this);
}

void RepaintPacer::showEverything()
{
    m_showEverything = true;
}

void RepaintPacer::catchUp()
{
    if (m_pacing && m_held && due())
        requestRepaint();
}

void RepaintPacer::end()
{
    if (!m_pacing)
        return;
    m_window->removeEventFilter(this);
    m_pacing = false;
    if (m_held)
        requestRepaint();
}

bool RepaintPacer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window || event->type() != QEvent::UpdateRequest)
        return false;
    if (!due()) {
        m_held = true;
        return true;
    }
    m_held = false;
    m_sinceRepaint.start();
    return false;
}

bool RepaintPacer::due() const
{
    return m_showEverything || !m_sinceRepaint.isValid()
        || m_sinceRepaint.elapsed() >= INTERVAL_MS;
}

// The window's own request may have been one that was held back, and Qt
// posts no other until it has been handled: this one stands in for it.
void RepaintPacer::requestRepaint()
{
    m_held = false;
    QCoreApplication::postEvent(m_window, new QEvent(QEvent::UpdateRequest),
                                Qt::LowEventPriority);
}
