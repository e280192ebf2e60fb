#include "RowInputGuard.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QWidget>

namespace ZORVI {

RowInputGuard::RowInputGuard(QWidget* area)
    : QObject(area)
{
    const QList<QAbstractSpinBox*> spinBoxes = area->findChildren<QAbstractSpinBox*>();
    for (QAbstractSpinBox* spinBox : spinBoxes)
        guard(spinBox);
    const QList<QComboBox*> lists = area->findChildren<QComboBox*>();
    for (QComboBox* list : lists)
        guard(list);
}

void RowInputGuard::guard(QWidget* row)
{
    // Tab and click still focus the row; the wheel no longer does.
    row->setFocusPolicy(Qt::StrongFocus);
    row->installEventFilter(this);
}

bool RowInputGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Wheel || static_cast<QWidget*>(watched)->hasFocus())
        return false;
    // Not accepted, so the application hands the turn on to the parents,
    // up to the scroll area; the row itself never sees it.
    event->ignore();
    return true;
}

} // namespace ZORVI
