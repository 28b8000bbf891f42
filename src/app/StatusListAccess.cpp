// The status list as assistive technology sees it. A list view names a row by its place in the
// layout it makes; this list makes none and names every row by its number. New, removed and
// changed rows are told as they happen, so a screen reader that follows the list hears of them.
#include "app/StatusList.h"

#include <QAccessible>

#include <algorithm>

namespace {
// At most this many rows of one change are told one by one; a larger change (a burst of lines
// within one pass of the event loop, a long list cleared) is told for its newest rows only.
constexpr int MAX_TOLD_ROWS = 64;
} // namespace

void CStatusList::FollowRowsForAccessibility()
{
    // Connected after the view's own handlers, which bring the accessible rows up to date first.
    QAbstractItemModel* rows = model();
    connect(rows, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                TellRows(QAccessible::ObjectCreated, first, last);
            });
    connect(rows, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) {
                TellRows(QAccessible::ObjectDestroyed, first, last);
            });
    connect(rows, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                if (topLeft.isValid() && bottomRight.isValid())
                    TellRows(QAccessible::NameChanged, topLeft.row(), bottomRight.row());
            });
}

void CStatusList::TellRows(QAccessible::Event type, int first, int last)
{
    if (!QAccessible::isActive() || first < 0 || last < first)
        return;
    for (int row = std::max(first, last - MAX_TOLD_ROWS + 1); row <= last; ++row)
        TellRowEvent(type, row);
}

void CStatusList::TellRowEvent(QAccessible::Event type, int row)
{
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(this);
    QAccessibleTableInterface* table = list != nullptr ? list->tableInterface() : nullptr;
    QAccessibleInterface* cell = table != nullptr ? table->cellAt(row, 0) : nullptr;
    if (cell == nullptr)
        return;
    QAccessibleEvent event(cell, type);
    QAccessible::updateAccessibility(&event);
}

void CStatusList::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    if (QAccessible::isActive() && current.isValid() && hasFocus()) {
        QAccessibleEvent event(this, QAccessible::Focus);
        event.setChild(current.row());
        QAccessible::updateAccessibility(&event);
    }
    QAbstractItemView::currentChanged(current, previous);
}

void CStatusList::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    if (QAccessible::isActive()) {
        for (const auto& [range, type] : {std::pair{selected.value(0), QAccessible::SelectionAdd},
                                          std::pair{deselected.value(0), QAccessible::SelectionRemove}}) {
            if (!range.isValid())
                continue;
            QAccessibleEvent event(this, type);
            event.setChild(range.top());
            QAccessible::updateAccessibility(&event);
        }
    }
    QAbstractItemView::selectionChanged(selected, deselected);
}
