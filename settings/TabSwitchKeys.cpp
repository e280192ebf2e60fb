#include "TabSwitchKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTabWidget>

namespace ZORVI {

TabSwitchKeys::TabSwitchKeys(QTabWidget* tabs)
    : QObject(tabs)
    , m_tabs(tabs)
{
    // Key presses go straight to the focused widget, never through the
    // window: only the application sees them first.
    qApp->installEventFilter(this);
}

TabSwitchKeys::~TabSwitchKeys()
{
    qApp->removeEventFilter(this);
}

int TabSwitchKeys::pageStepOf(const QKeyEvent& key)
{
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    const bool control = modifiers == Qt::ControlModifier;
    const bool controlShift = modifiers == (Qt::ControlModifier | Qt::ShiftModifier);
    switch (key.key()) {
    case Qt::Key_Tab:
        return control ? 1 : controlShift ? -1 : 0;
    case Qt::Key_Backtab: // Shift+Tab arrives as Backtab on most platforms
        return control || controlShift ? -1 : 0;
    case Qt::Key_PageDown:
        return control ? 1 : 0;
    case Qt::Key_PageUp:
        return control ? -1 : 0;
    default:
        return 0;
    }
}

bool TabSwitchKeys::isInTabsWindow(QObject* object) const
{
    auto* widget = qobject_cast<QWidget*>(object);
    return widget && widget->window() == m_tabs->window();
}

bool TabSwitchKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int step = pageStepOf(*static_cast<QKeyEvent*>(event));
    if (step == 0 || !isInTabsWindow(watched))
        return false;
    // Taken even while the pages are disabled, so that the key never
    // reaches the port list either.
    if (m_tabs->isEnabled())
        turnPage(step);
    return true;
}

void TabSwitchKeys::turnPage(int step)
{
    const int count = m_tabs->count();
    for (int distance = 1; distance < count; ++distance) {
        const int index = ((m_tabs->currentIndex() + step * distance) % count + count) % count;
        if (m_tabs->isTabEnabled(index)) {
            m_tabs->setCurrentIndex(index);
            return;
        }
    }
}

} // namespace ZORVI
