#include "app/Announcer.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {
QAccessibleInterface* AnnouncerInterface(const QString& className, QObject* object)
{
    if (className != QLatin1String(CAnnouncer::staticMetaObject.className()) || object == nullptr ||
        !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Notification);
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
    setFocusPolicy(Qt::NoFocus);
    setGeometry(0, 0, 0, 0);
    hide();
}

void CAnnouncer::Announce(const QString& sentence)
{
    // Hidden first, so that the same sentence twice still appears twice.
    hide();
    setAccessibleName(sentence);
    show();
}
