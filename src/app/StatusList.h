// The status list of the main dialog: a list widget whose cost per logged line does not grow
// with the lines it already holds. Lines are laid out, scrolled into view and painted at most
// once per pass of the event loop, and no more often than a screen refresh while lines pour
// in; it counts the lines that begin with a watched text, so that asking costs nothing.
#pragma once

#include <QBasicTimer>
#include <QListWidget>

#include <chrono>
#include <string>

class CStatusList : public QListWidget {
    Q_OBJECT

public:
    // Shortest time between two layouts of the list while lines keep arriving.
    static constexpr int LAYOUT_INTERVAL_MS = 16;

    explicit CStatusList(QWidget* parent = nullptr);

    // Appends a line and brings the end of the list into view before the next paint.
    void AppendLine(const std::string& text);
    // Lines are counted from now on when they begin with `prefix` (letter case ignored).
    void WatchPrefix(const QString& prefix);
    bool HasWatchedLine() const { return m_nWatchedLines > 0; }

protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void reset() override;
    bool viewportEvent(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    void ScheduleLayout();
    void LayOutPendingRows();
    bool IsWatched(int row) const;

    QString m_strWatchedPrefix;
    int m_nWatchedLines = 0;
    int m_nPendingFirst = -1; // first row inserted but not yet handed to the view, or -1
    bool m_bScrollPending = false;
    QBasicTimer m_layoutTimer;
    std::chrono::steady_clock::time_point m_lastLayout{};
};
