// The application's style with a focus indicator that can be seen: a solid ring two pixels wide
// around the focused button, drop-down list or status row, in a colour that stands at least
// 3:1 against the control, its border and the window (dark on a light palette, light on a dark
// one). It shows from the first Tab on, as the platform's own ring does.
#pragma once

#include <QProxyStyle>

class CFocusRingStyle : public QProxyStyle {
    Q_OBJECT

public:
    CFocusRingStyle();

    // Makes this the application's style, once.
    static void Install();
    // The ring's colour on a palette.
    static QColor RingColour(const QPalette& palette);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget = nullptr) const override;

private:
    static void DrawRing(QPainter* painter, const QStyleOption& option);
};
