#pragma once

#include <QString>
#include <QWidget>

class QStatusBar;

namespace ZORVI {

// Says each message of a window's status bar to screen readers, as they say
// a message box. The bar's own text reaches no screen reader: Qt raises no
// event for it, and its Alert event goes nowhere on Linux. A notification
// that appears is what they speak (on AT-SPI, "showing" of an object in the
// notification role, as a desktop's status bar notifications are), so each
// message makes this one appear again, named by the message.
//
// It is an empty child of the bar outside the bar's layout: nothing of it
// is drawn, it takes neither the focus nor the pointer, and the bar's own
// widgets stay where they are.
class StatusAnnouncement : public QWidget {
    Q_OBJECT

public:
    explicit StatusAnnouncement(QStatusBar* statusBar);

private:
    void announce(const QString& message);
};

} // namespace ZORVI
