#include "app/Announcer.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>

namespace {
const char* const NOTIFICATION_PROPERTY = "kxNotification";
const char* const ANNOUNCER_PROPERTY = "kxAnnouncer";

// The announcer as a status bar whose parent is the application, not the window it sits in.
class CAnnouncerAccess : public QAccessibleWidget {
public:
    explicit CAnnouncerAccess(QWidget* widget) : QAccessibleWidget(widget, QAccessible::StatusBar)
    {
    }

    QAccessibleInterface* parent() const override
    {
        return QAccessible::queryAccessibleInterface(qApp);
    }
};

QAccessibleInterface* AnnouncerInterface(const QString&, QObject* object)
{
    if (object == nullptr || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (object->property(ANNOUNCER_PROPERTY).toBool())
        return new CAnnouncerAccess(widget);
    if (object->property(NOTIFICATION_PROPERTY).toBool())
        return new QAccessibleWidget(widget, QAccessible::Notification);
    return nullptr;
}

void MakeSizeless(QWidget* widget)
{
    widget->setFocusPolicy(Qt::NoFocus);
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    widget->setGeometry(0, 0, 0, 0);
}
} // namespace

CAnnouncer::CAnnouncer(QWidget* parent) : QWidget(parent)
{
    static const bool bFactoryInstalled = [] {
        QAccessible::installFactory(AnnouncerInterface);
        return true;
    }();
    (void)bFactoryInstalled;
    setObjectName(QStringLiteral("Announcer"));
    setProperty(ANNOUNCER_PROPERTY, true);
    MakeSizeless(this);
    // Shown with its window, so that the notifications in it can appear; it has no pixels.
    show();
}

void CAnnouncer::Announce(const QString& sentence)
{
    m_strLast = sentence;
    auto* note = new QWidget(this);
    note->setProperty(NOTIFICATION_PROPERTY, true);
    note->setObjectName(QStringLiteral("Notification"));
    MakeSizeless(note);
    note->setAccessibleName(sentence);
    note->show();
    m_notifications.push_back(note);
    while (m_notifications.size() > KEPT_NOTIFICATIONS) {
        m_notifications.front()->deleteLater();
        m_notifications.pop_front();
    }
}
