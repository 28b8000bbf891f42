#include "app/WindowMenuKeys.h"

#include "app/Announcer.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
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
    if (e.key() == Qt::Key_F10 && (e.modifiers() & Qt::ShiftModifier))
        return true;
    return e.key() == Qt::Key_Space && (e.modifiers() & Qt::AltModifier);
}

bool CWindowMenuKeys::IsEnterKey(const QKeyEvent& e)
{
    const Qt::KeyboardModifiers others = e.modifiers() & ~Qt::KeypadModifier;
    return (e.key() == Qt::Key_Return || e.key() == Qt::Key_Enter) && others == Qt::NoModifier;
}

// Enter presses the focused button, whether or not a button is the default one: the buttons
// are not "auto default", which would make one of them the dialog's default on showing.
bool CWindowMenuKeys::PressFocusedButton(QObject* watched, const QKeyEvent& e)
{
    auto* button = qobject_cast<QPushButton*>(watched);
    if (button == nullptr || !IsEnterKey(e))
        return false;
    if (e.type() == QEvent::KeyPress && !e.isAutoRepeat() && button->isEnabled())
        button->click();
    return true;
}

// A menu that opens with no item selected is heard as nothing at all: a screen reader speaks an
// item when it takes the focus. The item is selected once the menu is on screen, as if the user
// had pressed Down. The menu's name is said as it opens: Qt gives a menu that pops up no place
// among the application's windows, and Orca drops such an object from what it says around the
// item, so it would say the item alone. Said first, the name is not cut short by the item, which
// a screen reader says after it when the focus enters another window.
void CWindowMenuKeys::SelectFirstItemWhenShown(QObject* watched) const
{
    auto* menu = qobject_cast<QMenu*>(watched);
    if (menu == nullptr || menu->parentWidget() != m_pWindow)
        return;
    if (auto* announcer = m_pWindow->findChild<CAnnouncer*>())
        announcer->Announce(menu->accessibleName().isEmpty() ? menu->title()
                                                             : menu->accessibleName());
    QTimer::singleShot(0, menu, [menu = QPointer<QMenu>(menu)] {
        if (menu == nullptr || !menu->isVisible() || menu->activeAction() != nullptr)
            return;
        for (QAction* action : menu->actions()) {
            if (action->isVisible() && action->isEnabled() && !action->isSeparator()) {
                menu->setActiveAction(action);
                return;
            }
        }
    });
}

bool CWindowMenuKeys::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::Show)
        SelectFirstItemWhenShown(watched);
    if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease)
        return false;
    if (!watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != m_pWindow)
        return false;
    const auto* key = static_cast<QKeyEvent*>(e);
    if (PressFocusedButton(watched, *key))
        return true;
    if (!IsMenuKey(*key))
        return false;
    // The release is swallowed too: a button clicks on the release of Space.
    if (e->type() == QEvent::KeyPress && !key->isAutoRepeat() && m_openMenu)
        m_openMenu();
    return true;
}
