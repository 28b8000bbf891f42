#include "platform/DialogUnits.h"

#include <QFontMetrics>

CDialogUnits::CDialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    static const QString SAMPLE =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_nBaseX = (metrics.horizontalAdvance(SAMPLE) / 26 + 1) / 2;
    m_nBaseY = metrics.height();
    if (m_nBaseX <= 0)
        m_nBaseX = 6;
    if (m_nBaseY <= 0)
        m_nBaseY = 13;
}

int CDialogUnits::X(int dluX) const { return (dluX * m_nBaseX + 2) / 4; }
int CDialogUnits::Y(int dluY) const { return (dluY * m_nBaseY + 4) / 8; }

QRect CDialogUnits::Rect(int x, int y, int width, int height) const
{
    return QRect(X(x), Y(y), X(width), Y(height));
}
