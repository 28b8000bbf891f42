#include "app/PortCombo.h"

#include <QWheelEvent>

CPortCombo::CPortCombo(QWidget* parent) : QComboBox(parent)
{
    setInsertPolicy(QComboBox::NoInsert);
    // A choice made in the open list is announced when the list closes.
    connect(this, &QComboBox::activated, this, [this] {
        if (!m_bPopupOpen && !m_bClosePending)
            emit ChosenWhileClosed();
    });
}

int CPortCombo::AddString(const std::string& name, const std::string& description)
{
    const QString entry = QString::fromStdString(name);
    int index = 0;
    while (index < count() && itemData(index).toString().compare(entry, Qt::CaseInsensitive) <= 0)
        ++index;
    const int selected = currentIndex();
    insertItem(index, QString::fromStdString(description.empty() ? name : description), entry);
    // Adding to a list must not choose an entry on the user's behalf.
    setCurrentIndex(selected < 0 ? -1 : (selected >= index ? selected + 1 : selected));
    return index;
}

void CPortCombo::ResetContent()
{
    clear();
    setCurrentIndex(-1);
}

int CPortCombo::FindName(const std::string& name) const
{
    return findData(QString::fromStdString(name), Qt::UserRole,
                    Qt::MatchExactly | Qt::MatchCaseSensitive);
}

std::string CPortCombo::NameAt(int index) const
{
    return index >= 0 && index < count() ? itemData(index).toString().toStdString() : std::string();
}

int CPortCombo::SelectString(const std::string& name)
{
    const int index = FindName(name);
    setCurrentIndex(index);
    return index;
}

std::string CPortCombo::SelectedText() const { return NameAt(currentIndex()); }

void CPortCombo::wheelEvent(QWheelEvent* e)
{
    e->ignore();
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
    m_bClosePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_bClosePending = false;
            emit DropDownClosed();
        },
        Qt::QueuedConnection);
}
