// The keys that open a window's menu (Alt+Space, Shift+F10 and the Menu key), taken away from
// whichever control of that window has the focus: a focused button would otherwise treat
// Alt+Space as a press of Space and click, a list would select and a drop-down list would open.
// Shift+F10 serves desktops whose window manager keeps Alt+Space, and keyboards without a Menu
// key. The same filter makes Enter press the focused button, as Space does, and opens the
// window's menus as a desktop's menus open: their name said, their first item selected.
#pragma once

#include <QObject>

#include <functional>

class QKeyEvent;
class QWidget;

class CWindowMenuKeys : public QObject {
public:
    // Watches every key that reaches `window` or a control inside it (not its popups or the
    // dialogs it opens) and calls `openMenu` when one of the menu keys is pressed; Enter on an
    // enabled push button clicks it. A menu of `window` that opens is named through the window's
    // announcer (when it has one) and has its first item selected.
    CWindowMenuKeys(QWidget* window, std::function<void()> openMenu);

    static bool IsMenuKey(const QKeyEvent& e);
    static bool IsEnterKey(const QKeyEvent& e);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    static bool PressFocusedButton(QObject* watched, const QKeyEvent& e);
    // Names a menu of the window that has just opened and selects its first item.
    void SelectFirstItemWhenShown(QObject* watched) const;

    QWidget* const m_pWindow;
    const std::function<void()> m_openMenu;
};
