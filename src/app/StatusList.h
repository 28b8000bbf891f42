// The status list of the main dialog: a list widget whose cost per logged line does not grow
// with the lines it already holds. Every line is one row of the same height, so the place of
// any row is a product and no layout of all rows is ever made; the scroll range, the scroll to
// the newest line and the repaint follow from a timer, at most at screen rate, and never from
// inside a paint. A row that its owner updates later (a web request's progress, the activity
// line) is held by a handle. Every row is seen by assistive technology with its text.
#pragma once

#include "app/ScreenRatePacer.h"

#include <QAccessible>
#include <QBasicTimer>
#include <QListWidget>
#include <QPersistentModelIndex>

#include <chrono>
#include <string>

class CStatusList : public QListWidget {
    Q_OBJECT

public:
    explicit CStatusList(QWidget* parent = nullptr);

    // Marks a row that continues the line of the row before it (a line too wide for the list).
    static constexpr int CONTINUATION_ROLE = Qt::UserRole + 1;
    // Marks a row held by its owner, which is never wrapped.
    static constexpr int HELD_ROLE = Qt::UserRole + 2;

    // Appends a line and brings the end of the list into view before the next paint; a line
    // wider than the list is wrapped over several rows, at the list's width of the moment, and
    // wrapped again when the list's width changes. bContinuesLast: the text goes on the line
    // logged last (when that is still the end of the list), which is wrapped again as a whole.
    void AppendLine(const std::string& text, bool bContinuesLast = false);
    // A row held by its owner: it follows the row wherever lines are added, and is invalid
    // once the row is removed or the list cleared.
    using RowHandle = QPersistentModelIndex;
    // Appends a line that its owner will replace or remove later; it is not scrolled to.
    RowHandle AppendHeldLine(const std::string& text);
    // Replaces the held row's text; false when the row is gone.
    bool SetHeldLine(const RowHandle& row, const std::string& text);
    // Removes the held row; false when it is already gone.
    bool RemoveHeldLine(const RowHandle& row);

    // While on, new rows are told to assistive technology in batches, at most one a
    // BATCH_INTERVAL_MS, each as its newest row (a run logs one row per data line, faster than
    // a screen reader can take); turned off, the newest row not yet told is told.
    static constexpr int BATCH_INTERVAL_MS = 1000;
    // Meanwhile the list scrolls to its newest line at most once in this many milliseconds:
    // each scroll is an event for assistive technology too, which a screen reader takes before
    // the next key (with the list focused, 4 scrolls a second held keys back for a second).
    static constexpr int BATCH_SCROLL_INTERVAL_MS = 1000;
    void SetRowsToldInBatches(bool bOn);

    // Height of every row, in pixels.
    int RowHeight() const;

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    void doItemsLayout() override;

protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    void reset() override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void updateGeometries() override;
    bool isIndexHidden(const QModelIndex& index) const override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

private:
    // Assistive technology is told of rows added, removed and changed (StatusListAccess.cpp).
    void FollowRowsForAccessibility();
    void TellRows(QAccessible::Event type, int first, int last);
    void TellRowEvent(QAccessible::Event type, int row);
    void TellBatch();

    void ScheduleUpdate();
    // bContinuation: the first row goes on the line of the row before it.
    void AddWrappedRows(int row, const QString& line, bool bContinuation = false);
    // The rows of the logged line that starts at `first`, put together; `end`: the row after.
    QString LineAt(int first, int* end) const;
    void RewrapLines();
    void ApplyPendingUpdate();
    void MeasureRows(int first, int last);
    int RowWidth() const;
    int WrapWidth() const;
    int RowAt(int y) const;

    int m_nUnmeasuredFirst = -1; // first row whose width is not yet known, or -1
    int m_nContentWidth = 0;     // widest row measured so far, in pixels
    mutable int m_nRowHeight = 0; // 0 until measured
    bool m_bScrollPending = false;
    bool m_bGeometryPending = false;
    int m_nWrapWidth = -1; // the width the lines were wrapped at
    bool m_bRewrapPending = false;
    CScreenRatePacer m_updatePacer;
    bool m_bBatchRows = false;
    QPersistentModelIndex m_untoldRow; // the newest row added and not yet told, while batching
    QBasicTimer m_batchTimer;
    std::chrono::steady_clock::time_point m_lastScroll{};

protected:
    void timerEvent(QTimerEvent* e) override;
};
