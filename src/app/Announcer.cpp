#include "app/Announcer.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {
const char* const NOTIFICATION_PROPERTY = "kxNotification";

QAccessibleInterface* NotificationInterface(const QString&, QObject* object)
{
    if (object == nullptr || !object->isWidgetType() ||
        !object->property(NOTIFICATION_PROPERTY).toBool())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Notification);
}
} // namespace

CAnnouncer::CAnnouncer(QWidget* parent) : QWidget(parent)
{
    static const bool bFactoryInstalled = [] {
        QAccessible::installFactory(NotificationInterface);
        return true;
    }();
    (void)bFactoryInstalled;
    setObjectName(QStringLiteral("Announcer"));
    setFocusPolicy(Qt::NoFocus);
    setGeometry(0, 0, 0, 0);
    hide();
}

void CAnnouncer::Announce(const QString& sentence)
{
    m_strLast = sentence;
    // Beside the announcer, which stays hidden: a hidden parent would hide it too.
    auto* note = new QWidget(parentWidget());
    note->setProperty(NOTIFICATION_PROPERTY, true);
    note->setObjectName(QStringLiteral("Notification"));
    note->setFocusPolicy(Qt::NoFocus);
    note->setAttribute(Qt::WA_TransparentForMouseEvents);
    note->setGeometry(0, 0, 0, 0);
    note->setAccessibleName(sentence);
    note->show();
    m_notifications.push_back(note);
    while (m_notifications.size() > KEPT_NOTIFICATIONS) {
        m_notifications.front()->deleteLater();
        m_notifications.pop_front();
    }
}
