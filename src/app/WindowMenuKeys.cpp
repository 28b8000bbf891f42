#include "app/WindowMenuKeys.h"

#include "platform/ThreadHandoff.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

CWindowMenuKeys::CWindowMenuKeys(QWidget* window, std::function<void()> openMenu)
    : QObject(window), m_pWindow(window), m_openMenu(std::move(openMenu))
{
    // Application-wide, so that the keys are seen before the focused control gets them,
    // whichever control that is; the filter goes away with this object.
    qApp->installEventFilter(this);
}

bool CWindowMenuKeys::IsMenuKey(const QKeyEvent& e)
{
    if (e.key() == Qt::Key_Menu)
        return true;
    return e.key() == Qt::Key_Space && (e.modifiers() & Qt::AltModifier);
}

bool CWindowMenuKeys::eventFilter(QObject* watched, QEvent* e)
{
    // As a filter of the whole application this is the first of the program's code to see an
    // event, also one that a worker thread posted.
    AcceptHandoffEvent(e);
    if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease)
        return false;
    if (!watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != m_pWindow)
        return false;
    const auto* key = static_cast<QKeyEvent*>(e);
    if (!IsMenuKey(*key))
        return false;
    // The release is swallowed too: a button clicks on the release of Space.
    if (e->type() == QEvent::KeyPress && !key->isAutoRepeat() && m_openMenu)
        m_openMenu();
    return true;
}
