// Says a sentence to assistive technology without moving the focus: a widget of no size that
// screen readers see as a notification, named with the sentence and shown anew for each one.
// A notification that appears is spoken whatever has the focus; a changed name or text of an
// object other than the focused one is not.
#pragma once

#include <QWidget>

class CAnnouncer : public QWidget {
    Q_OBJECT

public:
    explicit CAnnouncer(QWidget* parent);

    // The sentence becomes the notification's name, and the notification appears.
    void Announce(const QString& sentence);
    // The last sentence announced; empty before the first.
    QString LastSentence() const { return accessibleName(); }
};
