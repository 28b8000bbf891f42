#include "app/StatusList.h"

#include "app/StatusLine.h"
#include "app/StatusWrap.h"

#include <QEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>

#include <algorithm>
#include <climits>

namespace {
// A line is measured by at most this many characters: a longer one is cut short on screen.
constexpr qsizetype MAX_MEASURED_CHARS = 1000;
// Room around the text of a row, beyond its measured width.
constexpr int TEXT_MARGIN_PX = 8;
const QString ROW_HEIGHT_SAMPLE = QStringLiteral("Xg");

int FloorDiv(qint64 value, int divisor)
{
    const qint64 quotient = value / divisor;
    return static_cast<int>((value % divisor != 0 && value < 0) ? quotient - 1 : quotient);
}
} // namespace

CStatusList::CStatusList(QWidget* parent)
    : QListWidget(parent), m_updatePacer([this] { ApplyPendingUpdate(); }, this)
{
    setUniformItemSizes(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    FollowRowsForAccessibility();
}

void CStatusList::AppendLine(const std::string& text, bool bContinuesLast)
{
    QString line = QString::fromStdString(text);
    bool bContinuation = false;
    const int last = count() - 1;
    if (bContinuesLast && last >= 0 && !item(last)->data(HELD_ROLE).toBool()) {
        // Rows are filled from the start of the line on: only its last row can take more, so
        // the text is wrapped again from there, however long the line already is.
        bContinuation = item(last)->data(CONTINUATION_ROLE).toBool();
        line = item(last)->text() + line;
        delete takeItem(last);
    }
    AddWrappedRows(count(), line, bContinuation);
    m_bScrollPending = true;
    ScheduleUpdate();
}

// A line wider than the list is shown whole, over as many rows as it needs: the rows after the
// first are marked as its continuation.
void CStatusList::AddWrappedRows(int row, const QString& line, bool bContinuation)
{
    m_nWrapWidth = WrapWidth();
    const QStringList rows = WrapStatusLine(line, font(), m_nWrapWidth);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        auto* piece = new CStatusLine(rows[i].toStdString());
        if (i > 0 || bContinuation)
            piece->setData(CONTINUATION_ROLE, true);
        insertItem(row + static_cast<int>(i), piece);
    }
}

QString CStatusList::LineAt(int first, int* end) const
{
    QString line = item(first)->text();
    int row = first + 1;
    for (; row < count() && item(row)->data(CONTINUATION_ROLE).toBool(); ++row)
        line += item(row)->text();
    *end = row;
    return line;
}

// The width changed: every logged line is wrapped again, once, at the new width. Lines that fit
// both before and after are left alone.
void CStatusList::RewrapLines()
{
    m_bRewrapPending = false;
    const int width = WrapWidth();
    if (width == m_nWrapWidth || width <= 0)
        return;
    m_nWrapWidth = width;
    const QFontMetrics metrics = fontMetrics();
    for (int first = 0; first < count();) {
        int end = 0;
        const QString line = LineAt(first, &end);
        const bool bWrapped = end - first > 1;
        if (item(first)->data(HELD_ROLE).toBool() ||
            (!bWrapped && (qint64{metrics.maxWidth()} * line.size() <= width ||
                           metrics.horizontalAdvance(line) <= width))) {
            first = end;
            continue;
        }
        for (int row = end - 1; row >= first; --row)
            delete takeItem(row);
        const int before = count();
        AddWrappedRows(first, line);
        first += count() - before;
    }
    m_bScrollPending = true;
}

CStatusList::RowHandle CStatusList::AppendHeldLine(const std::string& text)
{
    auto* row = new CStatusLine(text);
    row->setData(HELD_ROLE, true);
    addItem(row);
    return RowHandle(model()->index(count() - 1, 0, rootIndex()));
}

bool CStatusList::SetHeldLine(const RowHandle& row, const std::string& text)
{
    if (!row.isValid())
        return false;
    item(row.row())->setText(QString::fromStdString(text));
    return true;
}

bool CStatusList::RemoveHeldLine(const RowHandle& row)
{
    if (!row.isValid())
        return false;
    delete takeItem(row.row());
    return true;
}

int CStatusList::RowHeight() const
{
    if (m_nRowHeight <= 0) {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.text = ROW_HEIGHT_SAMPLE;
        option.features |= QStyleOptionViewItem::HasDisplay;
        const QSize size = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this);
        m_nRowHeight = std::max({1, size.height(), fontMetrics().height()});
    }
    return m_nRowHeight;
}

// The room for a row's text, also once the vertical scroll bar shows; taken from the list's own
// size, which is known before the list is first shown.
int CStatusList::WrapWidth() const
{
    return contentsRect().width() - style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this) -
           TEXT_MARGIN_PX;
}

int CStatusList::RowWidth() const
{
    return std::max(m_nContentWidth, viewport()->width());
}

int CStatusList::RowAt(int y) const
{
    return FloorDiv(qint64{y} + verticalOffset(), RowHeight());
}

// The model tells of new rows: they are counted and noted, and the view itself is brought up
// to date once, in a later pass.
void CStatusList::rowsInserted(const QModelIndex& parent, int start, int end)
{
    m_nUnmeasuredFirst = m_nUnmeasuredFirst < 0 ? start : std::min(m_nUnmeasuredFirst, start);
    m_bGeometryPending = true;
    QAbstractItemView::rowsInserted(parent, start, end);
    ScheduleUpdate();
}

void CStatusList::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    if (m_nUnmeasuredFirst > start)
        m_nUnmeasuredFirst = start;
    m_bGeometryPending = true;
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    ScheduleUpdate();
}

void CStatusList::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                              const QList<int>& roles)
{
    if (topLeft.isValid() && bottomRight.isValid())
        MeasureRows(topLeft.row(), bottomRight.row());
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

void CStatusList::reset()
{
    m_nUnmeasuredFirst = -1;
    m_nContentWidth = 0;
    m_bScrollPending = false;
    m_bGeometryPending = true;
    QListWidget::reset();
    ScheduleUpdate();
}

// A lone line, or the first of a burst, is taken in the next pass of the event loop; later
// ones at most once per screen refresh.
void CStatusList::ScheduleUpdate()
{
    m_updatePacer.Request();
}

void CStatusList::ApplyPendingUpdate()
{
    if (m_bRewrapPending)
        RewrapLines();
    if (m_nUnmeasuredFirst >= 0) {
        const int first = m_nUnmeasuredFirst;
        m_nUnmeasuredFirst = -1;
        MeasureRows(first, count() - 1);
    }
    if (m_bGeometryPending)
        updateGeometries();
    if (m_bScrollPending) {
        // Every scroll is an event for assistive technology: while rows are told in batches,
        // the list follows its newest line a few times a second, not at screen rate.
        const auto now = std::chrono::steady_clock::now();
        if (m_bBatchRows && now - m_lastScroll < std::chrono::milliseconds(BATCH_SCROLL_INTERVAL_MS)) {
            ScheduleUpdate();
        } else {
            m_bScrollPending = false;
            m_lastScroll = now;
            verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        }
    }
    viewport()->update();
}

// The widest row sets how far the list scrolls sideways; each row is measured once.
void CStatusList::MeasureRows(int first, int last)
{
    const QFontMetrics metrics = fontMetrics();
    const int widest = m_nContentWidth;
    for (int row = std::max(first, 0); row <= last && row < count(); ++row) {
        const QString text = item(row)->text().left(MAX_MEASURED_CHARS);
        m_nContentWidth = std::max(m_nContentWidth, metrics.horizontalAdvance(text) + TEXT_MARGIN_PX);
    }
    m_bGeometryPending = m_bGeometryPending || m_nContentWidth != widest;
}

void CStatusList::updateGeometries()
{
    m_bGeometryPending = false;
    const int rowHeight = RowHeight();
    const QSize area = viewport()->size();
    const qint64 height = qint64{count()} * rowHeight;
    QScrollBar* vertical = verticalScrollBar();
    vertical->setSingleStep(rowHeight);
    vertical->setPageStep(std::max(area.height(), 1));
    vertical->setRange(0, static_cast<int>(std::clamp<qint64>(height - area.height(), 0, INT_MAX)));
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setSingleStep(std::max(1, fontMetrics().averageCharWidth()));
    horizontal->setPageStep(std::max(area.width(), 1));
    horizontal->setRange(0, std::max(0, m_nContentWidth - area.width()));
    QAbstractItemView::updateGeometries();
}

void CStatusList::doItemsLayout()
{
    // Nothing to lay out: every row's place follows from its number.
    QAbstractItemView::doItemsLayout();
}

void CStatusList::resizeEvent(QResizeEvent* e)
{
    QAbstractItemView::resizeEvent(e);
    if (m_nWrapWidth >= 0 && WrapWidth() != m_nWrapWidth) {
        m_bRewrapPending = true;
        ScheduleUpdate();
    }
}

void CStatusList::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange) {
        m_nRowHeight = 0;
        m_bGeometryPending = true;
        ScheduleUpdate();
    }
    QListWidget::changeEvent(e);
}

// Draws the rows as the last update placed them. A paint never scrolls or changes the geometry:
// either would ask for another paint (and, on a real display, a round trip to the display
// server), so the window would repaint once per line instead of at most at screen rate.
void CStatusList::paintEvent(QPaintEvent* e)
{
    const int rows = count();
    if (rows == 0)
        return;
    QPainter painter(viewport());
    QStyleOptionViewItem base;
    initViewItemOption(&base);
    const QModelIndex current = currentIndex();
    const bool bFocus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    const QItemSelectionModel* selection = selectionModel();
    const int first = std::max(0, RowAt(e->rect().top()));
    const int last = std::min(rows - 1, RowAt(e->rect().bottom()));
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        QStyleOptionViewItem option = base;
        option.rect = visualRect(index);
        if (selection && selection->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (bFocus && index == current)
            option.state |= QStyle::State_HasFocus;
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

void CStatusList::scrollContentsBy(int dx, int dy)
{
    (void)dx;
    (void)dy;
    viewport()->update(); // a few rows are drawn again, whatever the distance
}

int CStatusList::horizontalOffset() const { return horizontalScrollBar()->value(); }
int CStatusList::verticalOffset() const { return verticalScrollBar()->value(); }
bool CStatusList::isIndexHidden(const QModelIndex&) const { return false; }

QRect CStatusList::visualRect(const QModelIndex& index) const
{
    if (!index.isValid() || index.parent() != rootIndex())
        return {};
    const int rowHeight = RowHeight();
    const qint64 top = qint64{index.row()} * rowHeight - verticalOffset();
    return {-horizontalOffset(), static_cast<int>(std::clamp<qint64>(top, INT_MIN / 2, INT_MAX / 2)),
            RowWidth(), rowHeight};
}

QModelIndex CStatusList::indexAt(const QPoint& point) const
{
    const int row = RowAt(point.y());
    if (row < 0 || row >= count() || point.x() + horizontalOffset() >= RowWidth())
        return {};
    return model()->index(row, 0, rootIndex());
}

void CStatusList::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (!index.isValid())
        return;
    if (m_bGeometryPending)
        updateGeometries();
    const int rowHeight = RowHeight();
    const int area = viewport()->height();
    const qint64 top = qint64{index.row()} * rowHeight;
    qint64 value = verticalScrollBar()->value();
    switch (hint) {
    case PositionAtTop: value = top; break;
    case PositionAtBottom: value = top + rowHeight - area; break;
    case PositionAtCenter: value = top - (area - rowHeight) / 2; break;
    case EnsureVisible:
        if (top < value)
            value = top;
        else if (top + rowHeight > value + area)
            value = top + rowHeight - area;
        break;
    }
    verticalScrollBar()->setValue(static_cast<int>(std::clamp<qint64>(value, 0, INT_MAX)));
}

QModelIndex CStatusList::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int rows = count();
    if (rows == 0)
        return {};
    const QModelIndex current = currentIndex();
    int row = current.isValid() ? current.row() : -1;
    const int pageRows = std::max(1, viewport()->height() / RowHeight());
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious: row = row < 0 ? 0 : row - 1; break;
    case MoveDown:
    case MoveNext: row += 1; break;
    case MovePageUp: row -= pageRows; break;
    case MovePageDown: row += pageRows; break;
    case MoveHome: row = 0; break;
    case MoveEnd: row = rows - 1; break;
    case MoveLeft:
    case MoveRight: return current;
    }
    return model()->index(std::clamp(row, 0, rows - 1), 0, rootIndex());
}

void CStatusList::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command)
{
    const QRect area = rect.normalized();
    const int first = std::max(0, RowAt(area.top()));
    const int last = std::min(count() - 1, RowAt(area.bottom()));
    QItemSelection chosen;
    if (first <= last)
        chosen.select(model()->index(first, 0, rootIndex()), model()->index(last, 0, rootIndex()));
    selectionModel()->select(chosen, command);
}

QRegion CStatusList::visualRegionForSelection(const QItemSelection& selection) const
{
    const QRect area = viewport()->rect();
    const int rowHeight = RowHeight();
    QRegion region;
    for (const QItemSelectionRange& range : selection) {
        if (range.parent() != rootIndex())
            continue;
        const qint64 top = qint64{range.top()} * rowHeight - verticalOffset();
        const qint64 bottom = qint64{range.bottom() + 1} * rowHeight - verticalOffset();
        const int clippedTop = static_cast<int>(std::clamp<qint64>(top, -1, area.height() + 1));
        const int clippedBottom = static_cast<int>(std::clamp<qint64>(bottom, -1, area.height() + 1));
        if (clippedBottom > clippedTop)
            region += QRect(0, clippedTop, area.width(), clippedBottom - clippedTop);
    }
    return region;
}
