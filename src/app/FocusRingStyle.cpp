#include "app/FocusRingStyle.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOption>

namespace {
constexpr int RING_WIDTH_PX = 2;
// Navy and pale yellow: each at least 3:1 against every colour of the palette it is used on,
// the selected row's highlight included.
const QColor RING_ON_LIGHT(0x00, 0x1f, 0x5c);
const QColor RING_ON_DARK(0xff, 0xe0, 0x66);

bool ShowsFocus(const QStyleOption& option)
{
    return (option.state & QStyle::State_HasFocus) &&
           (option.state & QStyle::State_KeyboardFocusChange);
}
} // namespace

CFocusRingStyle::CFocusRingStyle() = default;

void CFocusRingStyle::Install()
{
    if (qobject_cast<CFocusRingStyle*>(QApplication::style()) == nullptr)
        QApplication::setStyle(new CFocusRingStyle);
}

QColor CFocusRingStyle::RingColour(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() >= 0.5 ? RING_ON_LIGHT : RING_ON_DARK;
}

void CFocusRingStyle::DrawRing(QPainter* painter, const QStyleOption& option)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    QPen pen(RingColour(option.palette), RING_WIDTH_PX);
    pen.setJoinStyle(Qt::MiterJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    // A two-pixel pen is centred on the path: half a pen inside the rectangle keeps all of it in.
    const QRectF inside = QRectF(option.rect).adjusted(1, 1, -1, -1);
    painter->drawRect(inside);
    painter->restore();
}

void CFocusRingStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                    QPainter* painter, const QWidget* widget) const
{
    // Item views ask for a focus frame only around the focused row; it is drawn as the ring.
    if (element == PE_FrameFocusRect && option != nullptr) {
        DrawRing(painter, *option);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void CFocusRingStyle::drawControl(ControlElement element, const QStyleOption* option,
                                  QPainter* painter, const QWidget* widget) const
{
    QProxyStyle::drawControl(element, option, painter, widget);
    if (element == CE_PushButton && option != nullptr && ShowsFocus(*option))
        DrawRing(painter, *option);
}

void CFocusRingStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                         QPainter* painter, const QWidget* widget) const
{
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    if (control == CC_ComboBox && option != nullptr && ShowsFocus(*option))
        DrawRing(painter, *option);
}
