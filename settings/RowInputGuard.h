#pragma once

#include <QObject>

class QWidget;

namespace ZORVI {

// The spin boxes and lists of the window change the device: a pilot who
// turns the mouse wheel to scroll the page must not move a value that
// happens to pass under the pointer. Rows therefore take the wheel only
// while they have focus (a click or Tab into them); otherwise the turn goes
// on to the page's scroll area. Rows no longer take focus from the wheel
// either, or the first turn would focus them and the next ones would count.
class RowInputGuard : public QObject {
    Q_OBJECT

public:
    // Guards every spin box and list inside `area`, which owns the guard.
    explicit RowInputGuard(QWidget* area);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void guard(QWidget* row);
};

} // namespace ZORVI
