// Converts the dialog templates' dialog units to pixels from the dialog font's metrics:
// a horizontal unit is a quarter of the font's average character width, a vertical unit an
// eighth of its height.
#pragma once

#include <QFont>
#include <QRect>

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);

    int X(int dluX) const;
    int Y(int dluY) const;
    QRect Rect(int x, int y, int width, int height) const;

private:
    int m_nBaseX; // average character width in pixels
    int m_nBaseY; // character height in pixels
};
