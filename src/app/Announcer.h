// Says a sentence to assistive technology without moving the focus: each sentence is a widget of
// no size of its own that screen readers see as a notification, named with the sentence once and
// for good, that appears. A notification that appears is spoken whatever has the focus; a changed
// name or text of an object other than the focused one is not. Since a screen reader reads the
// name when it gets to the event, two sentences in quick succession need two objects.
// The notifications sit in the announcer, which assistive technology sees as a status bar of the
// application's own beside its windows: a screen reader says a notification in a status bar as
// its sentence alone, where it says one in a window after the window's name and role and the word
// "notification" (Orca: "Kestova Firmware Downloader dialog notification …", 2.3 s more).
#pragma once

#include <QWidget>

#include <deque>

class CAnnouncer : public QWidget {
    Q_OBJECT

public:
    // The newest sentences stay on screen as notifications; older ones go.
    static constexpr int KEPT_NOTIFICATIONS = 8;

    explicit CAnnouncer(QWidget* parent);

    // A new notification named with the sentence appears.
    void Announce(const QString& sentence);
    // The last sentence announced; empty before the first.
    QString LastSentence() const { return m_strLast; }

private:
    QString m_strLast;
    std::deque<QWidget*> m_notifications; // oldest first
};
