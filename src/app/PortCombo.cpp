#include "app/PortCombo.h"

CPortCombo::CPortCombo(QWidget* parent) : QComboBox(parent)
{
    setInsertPolicy(QComboBox::NoInsert);
}

int CPortCombo::AddString(const std::string& text)
{
    const QString entry = QString::fromStdString(text);
    int index = 0;
    while (index < count() && itemText(index).compare(entry, Qt::CaseInsensitive) <= 0)
        ++index;
    const int selected = currentIndex();
    insertItem(index, entry);
    // Adding to a list must not choose an entry on the user's behalf.
    setCurrentIndex(selected < 0 ? -1 : (selected >= index ? selected + 1 : selected));
    return index;
}

void CPortCombo::ResetContent()
{
    clear();
    setCurrentIndex(-1);
}

int CPortCombo::SelectString(const std::string& text)
{
    const int index = findText(QString::fromStdString(text), Qt::MatchExactly | Qt::MatchCaseSensitive);
    setCurrentIndex(index);
    return index;
}

std::string CPortCombo::SelectedText() const
{
    return currentIndex() >= 0 ? currentText().toStdString() : std::string();
}

void CPortCombo::showPopup()
{
    if (m_bPopupOpen)
        return;
    m_bPopupOpen = true;
    emit DropDownOpening();
    QComboBox::showPopup();
}

void CPortCombo::hidePopup()
{
    QComboBox::hidePopup();
    if (!m_bPopupOpen)
        return;
    m_bPopupOpen = false;
    // The list may close before the clicked entry becomes the selection: announce the close
    // once the event that closed it has been handled in full.
    QMetaObject::invokeMethod(this, [this] { emit DropDownClosed(); }, Qt::QueuedConnection);
}
