#include "StatusAnnouncement.h"

#include <QAccessibleWidget>
#include <QLatin1StringView>
#include <QStatusBar>

namespace ZORVI {

namespace {

// The object name of each message's notification.
const char* const MESSAGE_NAME = "statusMessage";

// A plain widget would be an unnamed "filler"; the announcement and each
// message are notifications, named by the message.
QAccessibleInterface* notificationInterface(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    const bool announcement =
        className == QLatin1StringView(StatusAnnouncement::staticMetaObject.className());
    const bool message = qobject_cast<StatusAnnouncement*>(object->parent())
        && object->objectName() == QLatin1StringView(MESSAGE_NAME);
    if (!announcement && !message)
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Notification);
}

void installNotificationInterface()
{
    static const bool installed = [] {
        QAccessible::installFactory(notificationInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

// An empty widget that is there for screen readers only.
void makeUnseen(QWidget* widget)
{
    widget->setFocusPolicy(Qt::NoFocus);
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    widget->resize(0, 0);
}

} // namespace

StatusAnnouncement::StatusAnnouncement(QStatusBar* statusBar)
    : QWidget(statusBar)
{
    installNotificationInterface();
    setObjectName(QStringLiteral("statusAnnouncement"));
    makeUnseen(this);
    connect(statusBar, &QStatusBar::messageChanged, this, &StatusAnnouncement::announce);
    announce(statusBar->currentMessage());
}

QStringList StatusAnnouncement::recentMessages() const
{
    QStringList messages;
    for (const QPointer<QWidget>& shown : m_recent)
        if (shown)
            messages.append(shown->accessibleName());
    return messages;
}

void StatusAnnouncement::announce(const QString& message)
{
    setAccessibleName(message);
    if (message.isEmpty())
        return;
    auto* shown = new QWidget(this);
    shown->setObjectName(QLatin1StringView(MESSAGE_NAME));
    makeUnseen(shown);
    shown->setAccessibleName(message);
    m_recent.append(shown);
    while (m_recent.size() > KEPT_MESSAGES)
        delete m_recent.takeFirst();
    // Showing it is the event screen readers speak (Qt raises it for a
    // widget that appears in a shown window).
    shown->show();
}

} // namespace ZORVI
