// The main dialog's layout: the template's places at the default size, and a larger window that
// gives its room to the status list and the progress bar. The buttons keep their rows under the
// list and their order; those in the right half keep their distance from the right edge, and the
// progress bar reaches from its place beside Get from Web to that edge.
#include "app/DownloaderDlg.h"

#include <QListWidget>
#include <QProgressBar>
#include <QResizeEvent>

#include <algorithm>

void CDownloaderDlg::NoteDefaultLayout()
{
    m_placedControls.clear();
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow())
            m_placedControls.push_back({child, child->geometry()});
    }
    setSizeGripEnabled(true);
}

void CDownloaderDlg::LayOutControls()
{
    const int dx = std::max(0, width() - m_defaultSize.width());
    const int dy = std::max(0, height() - m_defaultSize.height());
    const int middle = m_defaultSize.width() / 2;
    for (const PlacedControl& placed : m_placedControls) {
        QRect rect = placed.defaultRect;
        if (placed.pWidget == m_list) {
            rect.setSize(rect.size() + QSize(dx, dy));
        } else if (placed.pWidget == m_progress) {
            rect.translate(0, dy);
            rect.setWidth(rect.width() + dx);
        } else {
            // Every other control sits in the rows under the list.
            rect.translate(rect.left() >= middle ? dx : 0, dy);
        }
        placed.pWidget->setGeometry(rect);
    }
}

void CDownloaderDlg::resizeEvent(QResizeEvent* e)
{
    QDialog::resizeEvent(e);
    LayOutControls();
}
