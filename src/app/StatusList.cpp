#include "app/StatusList.h"

#include "app/StatusLine.h"

#include <QEvent>
#include <QScrollBar>
#include <QTimerEvent>

#include <algorithm>

CStatusList::CStatusList(QWidget* parent) : QListWidget(parent)
{
    // Every line is one text line high: the view need not measure each one.
    setUniformItemSizes(true);
}

void CStatusList::AppendLine(const std::string& text)
{
    addItem(new CStatusLine(text));
    m_bScrollPending = true;
    ScheduleLayout();
}

void CStatusList::WatchPrefix(const QString& prefix)
{
    m_strWatchedPrefix = prefix;
    m_nWatchedLines = 0;
    for (int row = 0; row < count(); ++row)
        m_nWatchedLines += IsWatched(row) ? 1 : 0;
}

bool CStatusList::IsWatched(int row) const
{
    return !m_strWatchedPrefix.isEmpty() &&
           item(row)->text().startsWith(m_strWatchedPrefix, Qt::CaseInsensitive);
}

// The view would lay out every line again for each insertion: the new rows are only noted
// here and handed to it together, once per layout.
void CStatusList::rowsInserted(const QModelIndex& parent, int start, int end)
{
    for (int row = start; row <= end; ++row)
        m_nWatchedLines += IsWatched(row) ? 1 : 0;
    m_nPendingFirst = m_nPendingFirst < 0 ? start : std::min(m_nPendingFirst, start);
    ScheduleLayout();
    (void)parent;
}

void CStatusList::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    LayOutPendingRows(); // the view must know a row before it can let it go
    for (int row = start; row <= end; ++row)
        m_nWatchedLines -= IsWatched(row) ? 1 : 0;
    QListWidget::rowsAboutToBeRemoved(parent, start, end);
}

void CStatusList::reset()
{
    m_nPendingFirst = -1;
    m_nWatchedLines = 0;
    m_bScrollPending = false;
    QListWidget::reset();
}

// Layouts follow one another at least LAYOUT_INTERVAL_MS apart; a lone line, or the first of a
// burst, is laid out in the next pass of the event loop.
void CStatusList::ScheduleLayout()
{
    if (m_layoutTimer.isActive())
        return;
    const auto since = std::chrono::steady_clock::now() - m_lastLayout;
    const auto wait = std::chrono::milliseconds(LAYOUT_INTERVAL_MS) -
                      std::chrono::duration_cast<std::chrono::milliseconds>(since);
    m_layoutTimer.start(std::max(0, static_cast<int>(wait.count())), Qt::PreciseTimer, this);
}

void CStatusList::LayOutPendingRows()
{
    m_layoutTimer.stop();
    if (m_nPendingFirst >= 0) {
        const int first = m_nPendingFirst;
        m_nPendingFirst = -1;
        if (first < count())
            QListWidget::rowsInserted(QModelIndex(), first, count() - 1);
    }
    if (m_bScrollPending) {
        m_bScrollPending = false;
        scrollToBottom(); // lays the list out now, once, and shows its end
    }
    m_lastLayout = std::chrono::steady_clock::now();
}

void CStatusList::timerEvent(QTimerEvent* e)
{
    if (e->timerId() == m_layoutTimer.timerId()) {
        LayOutPendingRows();
        return;
    }
    QListWidget::timerEvent(e);
}

// A paint that comes before the next layout (a forced repaint) still shows the newest lines.
bool CStatusList::viewportEvent(QEvent* e)
{
    if (e->type() == QEvent::Paint && (m_nPendingFirst >= 0 || m_bScrollPending))
        LayOutPendingRows();
    return QListWidget::viewportEvent(e);
}
