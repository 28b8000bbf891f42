// The bench's table: one row per channel (port, unit, loader, application before → after,
// state, progress, result), read from each channel's row. A screen reader reads a row's first
// cell as the whole row in one sentence. Changes are shown at most a few times a second.
#pragma once

#include <QAbstractTableModel>
#include <QTimer>

#include <functional>
#include <vector>

class CBenchRow;

class CBenchTableModel : public QAbstractTableModel {
public:
    enum EColumn { Port, Unit, Loader, Application, State, Progress, Result, Stop, COLUMN_COUNT };
    // Changed rows are shown together, at most this often.
    static constexpr int REFRESH_INTERVAL_MS = 250;

    // `rowAt(i)`: the i-th channel's row; `count()`: how many there are.
    CBenchTableModel(std::function<const CBenchRow&(int)> rowAt, std::function<int()> count,
                     QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // A channel was added at the end.
    void RowAdded();
    // A row changed: shown at the next refresh (bNow: at once, for a milestone).
    void RowChanged(int nRow, bool bNow);

private:
    void Refresh();

    std::function<const CBenchRow&(int)> m_rowAt;
    std::function<int()> m_count;
    int m_nShownRows = 0;
    int m_nFirstDirty = -1;
    int m_nLastDirty = -1;
    QTimer m_refresh;
};
