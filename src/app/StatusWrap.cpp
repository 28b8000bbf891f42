#include "app/StatusWrap.h"

#include <QFontMetrics>
#include <QTextLayout>
#include <QTextOption>

QStringList WrapStatusLine(const QString& text, const QFont& font, int widthPx)
{
    const QFontMetrics metrics(font);
    // Most lines are short: a bound on their width spares measuring them.
    if (widthPx <= 0 || qint64{metrics.maxWidth()} * text.size() <= widthPx ||
        metrics.horizontalAdvance(text) <= widthPx)
        return {text};
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList rows;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(widthPx);
        rows.append(text.mid(line.textStart(), line.textLength()));
    }
    layout.endLayout();
    if (rows.isEmpty())
        rows.append(text);
    return rows;
}
