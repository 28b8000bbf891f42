#include "app/bench/BenchTableModel.h"

#include "app/bench/BenchRow.h"

#include <algorithm>

namespace {
const char* const HEADERS[] = {"Port",  "Unit",     "Loader", "Application",
                               "State", "Progress", "Result", ""};

QString Q(const std::string& text) { return QString::fromStdString(text); }
} // namespace

CBenchTableModel::CBenchTableModel(std::function<const CBenchRow&(int)> rowAt,
                                   std::function<int()> count, QObject* parent)
    : QAbstractTableModel(parent), m_rowAt(std::move(rowAt)), m_count(std::move(count))
{
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(REFRESH_INTERVAL_MS);
    connect(&m_refresh, &QTimer::timeout, this, [this] { Refresh(); });
}

int CBenchTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_nShownRows;
}

int CBenchTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : COLUMN_COUNT;
}

QVariant CBenchTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_nShownRows)
        return {};
    const CBenchRow& row = m_rowAt(index.row());
    if (role == Qt::AccessibleTextRole && index.column() == Port)
        return Q(row.Sentence());
    if (role == Qt::ToolTipRole)
        return Q(row.Sentence());
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    switch (index.column()) {
    case Port: return Q(row.Port());
    case Unit: return Q(row.UnitText());
    case Loader: return Q(row.LoaderText());
    case Application: return Q(row.ApplicationText());
    case State: return Q(row.StateText());
    case Progress:
        return row.Percent() < 0
                   ? QString()
                   : QStringLiteral("%1 of %2").arg(row.LinesSent()).arg(row.TotalLines());
    case Result: return Q(row.Advice());
    default: return {};
    }
}

QVariant CBenchTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= COLUMN_COUNT)
        return {};
    return QString::fromLatin1(HEADERS[section]);
}

void CBenchTableModel::RowAdded()
{
    const int count = m_count();
    if (count <= m_nShownRows)
        return;
    beginInsertRows({}, m_nShownRows, count - 1);
    m_nShownRows = count;
    endInsertRows();
}

void CBenchTableModel::RowChanged(int nRow, bool bNow)
{
    m_nFirstDirty = m_nFirstDirty < 0 ? nRow : std::min(m_nFirstDirty, nRow);
    m_nLastDirty = std::max(m_nLastDirty, nRow);
    if (bNow)
        Refresh();
    else if (!m_refresh.isActive())
        m_refresh.start();
}

void CBenchTableModel::Refresh()
{
    m_refresh.stop();
    if (m_nFirstDirty < 0)
        return;
    const int first = m_nFirstDirty;
    const int last = std::min(m_nLastDirty, m_nShownRows - 1);
    m_nFirstDirty = m_nLastDirty = -1;
    if (first <= last)
        emit dataChanged(index(first, 0), index(last, COLUMN_COUNT - 1));
}
