#include "StatusAnnouncement.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLatin1StringView>
#include <QStatusBar>

namespace ZORVI {

namespace {

// A plain widget would be an unnamed "filler"; the announcement is a
// notification, named by its message.
QAccessibleInterface* notificationInterface(const QString& className, QObject* object)
{
    if (className != QLatin1StringView(StatusAnnouncement::staticMetaObject.className())
        || !object || !object->isWidgetType())
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

} // namespace

StatusAnnouncement::StatusAnnouncement(QStatusBar* statusBar)
    : QWidget(statusBar)
{
    installNotificationInterface();
    setObjectName(QStringLiteral("statusAnnouncement"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    resize(0, 0);
    connect(statusBar, &QStatusBar::messageChanged, this, &StatusAnnouncement::announce);
    announce(statusBar->currentMessage());
}

void StatusAnnouncement::announce(const QString& message)
{
    setAccessibleName(message);
    if (message.isEmpty())
        return;
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

} // namespace ZORVI
