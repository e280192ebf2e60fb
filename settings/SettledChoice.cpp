#include "SettledChoice.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>

namespace ZORVI {

SettledChoice::SettledChoice(QComboBox* list, int settleDelayMs)
    : QObject(list)
    , m_list(list)
    , m_shownText(list->currentText())
{
    m_settleTimer.setSingleShot(true);
    m_settleTimer.setInterval(settleDelayMs);
    connect(&m_settleTimer, &QTimer::timeout, this, &SettledChoice::onSettled);
    // The list changes its index while it handles the event, so the mark
    // ends with the event; a zero timer fires only after it is handled.
    m_stepInputEnd.setSingleShot(true);
    m_stepInputEnd.setInterval(0);
    connect(&m_stepInputEnd, &QTimer::timeout, this, [this] { m_stepInput = false; });
    connect(list, &QComboBox::currentIndexChanged, this, &SettledChoice::onIndexChanged);
    list->installEventFilter(this);
}

bool SettledChoice::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_list)
        return false;
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && isStepPending()) {
            takePendingStep();
            return true;
        }
    }
    // Keys and the wheel reach the list only while it is closed; the open
    // list's own view takes them then.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::Wheel) {
        m_stepInput = true;
        m_stepInputEnd.start();
    }
    return false;
}

void SettledChoice::onIndexChanged()
{
    const QString previous = m_shownText;
    m_shownText = m_list->currentText();
    if (m_paused)
        return;
    if (m_stepInput) {
        m_stepInput = false;
        if (!isStepPending())
            m_textBeforeSteps = previous;
        m_settleTimer.start();
        return;
    }
    m_settleTimer.stop();
    emit chosen();
}

void SettledChoice::onSettled()
{
    if (m_list->currentIndex() >= 0 && m_list->currentText() != m_textBeforeSteps)
        emit chosen();
}

void SettledChoice::takePendingStep()
{
    m_settleTimer.stop();
    if (m_list->currentIndex() >= 0)
        emit chosen();
}

} // namespace ZORVI
