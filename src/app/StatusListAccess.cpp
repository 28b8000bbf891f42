// The status list as assistive technology sees it. A list view names a row by its place in the
// layout it makes; this list makes none and names every row by its number. New, removed and
// changed rows are told as they happen, so a screen reader that follows the list hears of them.
#include "app/StatusList.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDialog>

#include <algorithm>

namespace {
// A list's own widgets beside its rows (its viewport, the boxes that hold its scroll bars): a list's interface
// knows only rows, and asked for the place of anything else among its children it warns "Fix my
// children". They are placed beside the list instead, under the list's parent. This holds for
// every list of the window: the status list and the port list's drop-down.
class CBesideListAccess : public QAccessibleWidget {
public:
    explicit CBesideListAccess(QWidget* widget) : QAccessibleWidget(widget) {}

    QAccessibleInterface* parent() const override
    {
        QWidget* list = widget()->parentWidget();
        QWidget* above = list->parentWidget();
        return QAccessible::queryAccessibleInterface(above != nullptr ? above : list->window());
    }
};

QAccessibleInterface* BesideListInterface(const QString&, QObject* object)
{
    if (object == nullptr || !object->isWidgetType())
        return nullptr;
    auto* list = qobject_cast<QAbstractItemView*>(object->parent());
    if (list == nullptr)
        return nullptr;
    return new CBesideListAccess(static_cast<QWidget*>(object));
}

// The window that holds a status list is its program's main window, and assistive technology is
// told so (a frame), though it is built as a dialog: a screen reader searches the whole of a
// dialog for text that labels no control, and does so again for every key pressed in it, row by
// row through the list (Orca 43: 0.8 s a key with 150 rows, seconds once an image is sent).
QAccessibleInterface* MainWindowInterface(QObject* object)
{
    auto* window = qobject_cast<QDialog*>(object);
    if (window == nullptr || !window->isWindow() || window->findChild<CStatusList*>() == nullptr)
        return nullptr;
    return new QAccessibleWidget(window, QAccessible::Window);
}

QAccessibleInterface* StatusListInterface(const QString& className, QObject* object)
{
    if (QAccessibleInterface* main = MainWindowInterface(object))
        return main;
    return BesideListInterface(className, object);
}

// At most this many rows of one change are told one by one; a larger change (a burst of lines
// within one pass of the event loop, a long list cleared) is told for its newest rows only.
constexpr int MAX_TOLD_ROWS = 64;
} // namespace

void CStatusList::FollowRowsForAccessibility()
{
    static const bool bFactoryInstalled = [] {
        QAccessible::installFactory(StatusListInterface);
        return true;
    }();
    (void)bFactoryInstalled;
    // Connected after the view's own handlers, which bring the accessible rows up to date first.
    QAbstractItemModel* rows = model();
    connect(rows, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                if (!m_bBatchRows) {
                    TellRows(QAccessible::ObjectCreated, first, last);
                    return;
                }
                m_untoldRow = model()->index(last, 0, rootIndex());
                if (!m_batchTimer.isActive())
                    m_batchTimer.start(BATCH_INTERVAL_MS, this);
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

void CStatusList::SetRowsToldInBatches(bool bOn)
{
    if (m_bBatchRows == bOn)
        return;
    m_bBatchRows = bOn;
    if (!bOn) {
        m_batchTimer.stop();
        TellBatch();
    }
}

void CStatusList::TellBatch()
{
    if (m_untoldRow.isValid())
        TellRows(QAccessible::ObjectCreated, m_untoldRow.row(), m_untoldRow.row());
    m_untoldRow = QPersistentModelIndex();
}

void CStatusList::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != m_batchTimer.timerId()) {
        QListWidget::timerEvent(e);
        return;
    }
    // The next row added starts the next batch.
    m_batchTimer.stop();
    TellBatch();
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
