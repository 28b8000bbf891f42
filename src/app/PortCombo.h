// The port drop-down list: keeps its entries sorted by port name like the classic sorted combo
// box, shows each with what it is (its description), and tells its owner when the list opens,
// when it closes (with or without a choice), and when the user changes the choice while it is
// closed (arrow keys, typing a name's first letter).
#pragma once

#include <QComboBox>

#include <string>

class CPortCombo : public QComboBox {
    Q_OBJECT

public:
    explicit CPortCombo(QWidget* parent = nullptr);

    // Inserts the port at its sorted place by name (letter case ignored), shown as its
    // description (its name when there is none), and returns its index.
    int AddString(const std::string& name, const std::string& description = {});
    // Removes every entry; nothing is selected afterwards.
    void ResetContent();
    // Selects the port exactly so named; -1 when there is none.
    int SelectString(const std::string& name);
    // The selected port's name; empty when nothing is selected.
    std::string SelectedText() const;
    // The index of the port so named (-1: none), and the name at an index.
    int FindName(const std::string& name) const;
    std::string NameAt(int index) const;
    bool HasSelection() const { return currentIndex() >= 0; }

    void showPopup() override;
    // The wheel over the closed list scrolls what is under it, never the choice: a port
    // changes only by a deliberate choice.
    void wheelEvent(QWheelEvent* e) override;
    void hidePopup() override;

signals:
    void DropDownOpening();
    void DropDownClosed();
    void ChosenWhileClosed();

private:
    bool m_bPopupOpen = false;
    bool m_bClosePending = false; // closed, and the close not yet announced
};
