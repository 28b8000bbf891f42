#include "app/StatusLine.h"

namespace {
bool IsTextRole(int role)
{
    return role == Qt::DisplayRole || role == Qt::EditRole;
}
} // namespace

CStatusLine::CStatusLine(const std::string& text)
    : QListWidgetItem(nullptr, QListWidgetItem::UserType),
      m_text(text.data(), static_cast<qsizetype>(text.size()))
{
}

QVariant CStatusLine::data(int role) const
{
    if (m_bOwnText && IsTextRole(role))
        return QString::fromUtf8(m_text);
    return QListWidgetItem::data(role);
}

void CStatusLine::setData(int role, const QVariant& value)
{
    if (IsTextRole(role)) {
        m_bOwnText = false;
        m_text.clear();
    }
    QListWidgetItem::setData(role, value);
}
