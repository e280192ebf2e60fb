#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

class QStatusBar;

namespace ZORVI {

// Says each message of a window's status bar to screen readers, as they say
// a message box. The bar's own text reaches no screen reader: Qt raises no
// event for it, and its Alert event goes nowhere on Linux. A notification
// that appears is what they speak (on AT-SPI, "showing" of an object in the
// notification role, as a desktop's status bar notifications are).
//
// Each message appears as a notification of its own, named by it for good:
// a screen reader reads the name when it gets to the event, and while the
// window is busy with the device (connecting, reading every setting) that
// is only after several messages have come and gone. One notification whose
// name changed meanwhile would be read as the last message each time.
//
// It is an empty child of the bar outside the bar's layout, named by the
// bar's current message: nothing of it is drawn, it takes neither the focus
// nor the pointer, and the bar's own widgets stay where they are. It keeps
// the last few messages' notifications, so that a screen reader still
// finds those it has yet to read.
class StatusAnnouncement : public QWidget {
    Q_OBJECT

public:
    explicit StatusAnnouncement(QStatusBar* statusBar);

    // The messages whose notifications are kept, oldest first.
    QStringList recentMessages() const;

    static constexpr int KEPT_MESSAGES = 10;

private:
    void announce(const QString& message);

    QList<QPointer<QWidget>> m_recent;
};

} // namespace ZORVI
