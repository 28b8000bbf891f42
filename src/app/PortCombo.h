// The port drop-down list: keeps its entries sorted like the classic sorted combo box, and
// tells its owner when the list opens and when it closes (with or without a choice).
#pragma once

#include <QComboBox>

#include <string>

class CPortCombo : public QComboBox {
    Q_OBJECT

public:
    explicit CPortCombo(QWidget* parent = nullptr);

    // Inserts the text at its sorted place (letter case ignored) and returns its index.
    int AddString(const std::string& text);
    // Removes every entry; nothing is selected afterwards.
    void ResetContent();
    // Selects the entry exactly equal to the text; -1 when there is none.
    int SelectString(const std::string& text);
    // The selected entry's text; empty when nothing is selected.
    std::string SelectedText() const;
    bool HasSelection() const { return currentIndex() >= 0; }

    void showPopup() override;
    void hidePopup() override;

signals:
    void DropDownOpening();
    void DropDownClosed();

private:
    bool m_bPopupOpen = false;
};
