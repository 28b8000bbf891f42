// Draws the downloader's artwork into PNG files: icon 128 at 16, 32, 48 and 64 pixels and bitmap
// 139 (340 x 90). The PNGs are kept in src/res/images and built into the program; this tool is
// not part of the normal build. To redraw them:
//     ninja -C build kx_draw_artwork && build/src/res/kx_draw_artwork src/res/images
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

const QColor CHIP_BODY(0x2f, 0x34, 0x3b);
const QColor CHIP_EDGE(0x1b, 0x1e, 0x22);
const QColor CHIP_SHINE(0x4a, 0x52, 0x5c);
const QColor METAL_LIGHT(0xe4, 0xe7, 0xeb);
const QColor METAL_DARK(0x8e, 0x95, 0x9e);
const QColor ARROW_FILL(0x2b, 0xa8, 0x4a);
const QColor ARROW_EDGE(0x17, 0x6b, 0x2c);
const QColor HOUSING(0x26, 0x28, 0x2c);
const QColor HOUSING_SHINE(0x4d, 0x51, 0x58);
const QColor WIRE_COLOURS[] = {QColor(0x6b, 0x3e, 0x1e), QColor(0xd3, 0x2f, 0x2f),
                               QColor(0xf2, 0x9a, 0x1f)}; // brown, red, orange
const QColor LINK_WIRE(0x1e, 0x6f, 0xd9);
const QColor COPPER(0xc8, 0x7a, 0x3c);

// Icon drawn on a 64-unit grid; every coordinate is a multiple of 4, so the 16-pixel drawing
// lands on whole pixels.
void DrawChip(QPainter& painter, int nPins)
{
    const int PIN_TOP = 24, PIN_PITCH = nPins == 4 ? 8 : 12;
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < nPins; ++i) {
        const int y = PIN_TOP + i * PIN_PITCH;
        QLinearGradient metal(0, y, 0, y + 4);
        metal.setColorAt(0, METAL_LIGHT);
        metal.setColorAt(1, METAL_DARK);
        painter.setBrush(metal);
        painter.drawRect(QRectF(4, y, 8, 4));
        painter.drawRect(QRectF(52, y, 8, 4));
    }
    QLinearGradient body(0, 20, 0, 60);
    body.setColorAt(0, CHIP_SHINE);
    body.setColorAt(1, CHIP_BODY);
    painter.setBrush(body);
    painter.setPen(QPen(CHIP_EDGE, 2));
    painter.drawRoundedRect(QRectF(13, 21, 38, 38), 4, 4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(CHIP_SHINE.lighter(130));
    painter.drawEllipse(QRectF(40, 48, 6, 6)); // orientation mark
}

void DrawDownArrow(QPainter& painter, bool bOutline)
{
    QPainterPath arrow;
    arrow.moveTo(26, 2);
    arrow.lineTo(38, 2);
    arrow.lineTo(38, 26);
    arrow.lineTo(50, 26);
    arrow.lineTo(32, 46);
    arrow.lineTo(14, 26);
    arrow.lineTo(26, 26);
    arrow.closeSubpath();
    if (bOutline) {
        painter.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(arrow);
    }
    QLinearGradient fill(0, 2, 0, 46);
    fill.setColorAt(0, ARROW_FILL.lighter(125));
    fill.setColorAt(1, ARROW_FILL);
    painter.setBrush(fill);
    painter.setPen(bOutline ? QPen(ARROW_EDGE, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin)
                            : QPen(Qt::NoPen));
    painter.drawPath(arrow);
}

QImage DrawIcon(int nSizePx)
{
    QImage image(nSizePx, nSizePx, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, nSizePx > 16);
    painter.scale(nSizePx / 64.0, nSizePx / 64.0);
    DrawChip(painter, nSizePx > 16 ? 4 : 3);
    DrawDownArrow(painter, nSizePx > 16);
    return image;
}

// Bitmap 139: the cable comes in from the left as three servo wires, ends in a black three-pin
// connector, and a short piece of insulated wire links the connector's two signal pins.
void DrawCable(QPainter& painter)
{
    for (int i = 0; i < 3; ++i) {
        const qreal y = 33 + i * 12;
        QPainterPath wire;
        wire.moveTo(0, 45 + (i - 1) * 5);
        wire.cubicTo(50, 45 + (i - 1) * 5, 80, y, 130, y);
        painter.setPen(QPen(WIRE_COLOURS[i].darker(140), 9, Qt::SolidLine, Qt::FlatCap));
        painter.drawPath(wire);
        painter.setPen(QPen(WIRE_COLOURS[i], 6, Qt::SolidLine, Qt::FlatCap));
        painter.drawPath(wire);
    }
}

void DrawConnector(QPainter& painter)
{
    QLinearGradient shade(0, 14, 0, 76);
    shade.setColorAt(0, HOUSING_SHINE);
    shade.setColorAt(0.35, HOUSING);
    shade.setColorAt(1, HOUSING.darker(130));
    painter.setPen(QPen(Qt::black, 1.5));
    painter.setBrush(shade);
    painter.drawRoundedRect(QRectF(122, 16, 96, 58), 5, 5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(HOUSING_SHINE);
    painter.drawRect(QRectF(140, 22, 60, 3)); // moulded latch ridge
    painter.drawPolygon(QPolygonF({QPointF(212, 20), QPointF(218, 26), QPointF(212, 26)}));
}

void DrawPins(QPainter& painter)
{
    for (int i = 0; i < 3; ++i) {
        const qreal y = 33 + i * 12;
        QLinearGradient metal(0, y - 3, 0, y + 3);
        metal.setColorAt(0, METAL_LIGHT);
        metal.setColorAt(1, METAL_DARK);
        painter.setPen(QPen(METAL_DARK.darker(140), 1));
        painter.setBrush(metal);
        painter.drawRoundedRect(QRectF(216, y - 3, 34, 6), 2, 2);
    }
}

void DrawLinkWire(QPainter& painter)
{
    // The two signal pins are the upper two; the third (ground) stays free.
    QPainterPath loop;
    loop.moveTo(262, 33);
    loop.cubicTo(318, 26, 318, 52, 262, 45);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(LINK_WIRE.darker(150), 8, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(loop);
    painter.setPen(QPen(LINK_WIRE, 5, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(loop);
    for (const qreal y : {33.0, 45.0}) { // bare copper ends wrapped round the pin tips
        painter.setPen(QPen(COPPER.darker(130), 1));
        painter.setBrush(COPPER);
        painter.drawRoundedRect(QRectF(240, y - 4, 24, 8), 3, 3);
    }
}

QImage DrawEchoLink()
{
    QImage image(340, 90, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawCable(painter);
    DrawConnector(painter);
    DrawPins(painter);
    DrawLinkWire(painter);
    return image;
}

bool Save(const QImage& image, const QDir& dir, const QString& strName)
{
    const QString strPath = dir.filePath(strName);
    if (image.save(strPath, "PNG", 9))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(strPath));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    bool bOk = true;
    for (const int nSizePx : {16, 32, 48, 64})
        bOk = Save(DrawIcon(nSizePx), dir, QStringLiteral("icon128_%1.png").arg(nSizePx)) && bOk;
    bOk = Save(DrawEchoLink(), dir, QStringLiteral("bitmap139.png")) && bOk;
    return bOk ? 0 : 1;
}
