// Draws the downloader's artwork into PNG files: icon 128 at 16, 32, 48 and 64 pixels and bitmap
// 139 (340 x 90). The PNGs are kept in src/res/images and built into the program; this tool is
// not part of the normal build. To redraw them:
//     ninja -C build kx_draw_artwork && build/src/res/kx_draw_artwork src/res/images
// With --hicolor it draws the icon for the desktop's icon theme instead, at the theme's usual
// sizes, as <dir>/<N>x<N>/apps/kestova-downloader.png:
//     build/src/res/kx_draw_artwork --hicolor data/icons/hicolor
#include <QDir>
#include <QFont>
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

// Icon 128: a chip (a square package with four pins on every side) and a green arrow pointing
// down into it. Sizes from 32 pixels up are drawn on a 64-unit grid; 16 pixels is drawn pixel
// by pixel, where a scaled drawing would blur.
void DrawPins(QPainter& painter, const QList<QRectF>& pins)
{
    painter.setPen(Qt::NoPen);
    for (const QRectF& pin : pins) {
        const bool bVertical = pin.height() > pin.width();
        QLinearGradient metal(pin.topLeft(), bVertical ? pin.topRight() : pin.bottomLeft());
        metal.setColorAt(0, METAL_LIGHT);
        metal.setColorAt(1, METAL_DARK);
        painter.setBrush(metal);
        painter.drawRect(pin);
    }
}

QList<QRectF> ChipPins(qreal nStart, qreal nPitch, qreal nWidth, qreal nInner, qreal nOuter)
{
    QList<QRectF> pins;
    for (int i = 0; i < 4; ++i) {
        const qreal at = nStart + i * nPitch;
        pins << QRectF(nOuter, at, nInner - nOuter, nWidth)            // left
             << QRectF(64 - nInner, at, nInner - nOuter, nWidth)       // right
             << QRectF(at, nOuter, nWidth, nInner - nOuter)            // top
             << QRectF(at, 64 - nInner, nWidth, nInner - nOuter);      // bottom
    }
    return pins;
}

QPainterPath ArrowPath(qreal nTop, qreal nShaftHalf, qreal nHeadTop, qreal nHeadHalf, qreal nTip)
{
    QPainterPath arrow;
    arrow.moveTo(32 - nShaftHalf, nTop);
    arrow.lineTo(32 + nShaftHalf, nTop);
    arrow.lineTo(32 + nShaftHalf, nHeadTop);
    arrow.lineTo(32 + nHeadHalf, nHeadTop);
    arrow.lineTo(32, nTip);
    arrow.lineTo(32 - nHeadHalf, nHeadTop);
    arrow.lineTo(32 - nShaftHalf, nHeadTop);
    arrow.closeSubpath();
    return arrow;
}

void DrawLargeIcon(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing);
    DrawPins(painter, ChipPins(18, 8, 4, 12, 5));
    QLinearGradient body(0, 10, 0, 54);
    body.setColorAt(0, CHIP_SHINE);
    body.setColorAt(1, CHIP_BODY);
    painter.setBrush(body);
    painter.setPen(QPen(CHIP_EDGE, 2));
    painter.drawRoundedRect(QRectF(11, 11, 42, 42), 5, 5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(CHIP_SHINE.lighter(140));
    painter.drawEllipse(QRectF(15, 44, 5, 5)); // pin-1 mark

    const QPainterPath arrow = ArrowPath(15, 6, 30, 14, 47);
    QLinearGradient fill(0, 15, 0, 47);
    fill.setColorAt(0, ARROW_FILL.lighter(130));
    fill.setColorAt(1, ARROW_FILL);
    painter.setBrush(fill);
    painter.setPen(QPen(ARROW_EDGE.lighter(160), 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawPath(arrow);
}

void DrawSmallIcon(QPainter& painter)
{
    // 16 x 16, one unit a pixel: body 3..12, pins at 5, 7, 9, 11 round it, arrow inside.
    painter.setRenderHint(QPainter::Antialiasing, false);
    QList<QRect> pins;
    for (const int at : {4, 6, 9, 11})
        pins << QRect(1, at, 2, 1) << QRect(13, at, 2, 1) << QRect(at, 1, 1, 2)
             << QRect(at, 13, 1, 2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(METAL_DARK);
    for (const QRect& pin : pins)
        painter.drawRect(pin);
    painter.setBrush(CHIP_BODY);
    painter.drawRect(QRect(3, 3, 10, 10));
    painter.setBrush(CHIP_SHINE);
    painter.drawRect(QRect(3, 3, 10, 1));
    painter.setBrush(ARROW_FILL.lighter(120));
    painter.drawRect(QRect(7, 4, 2, 4)); // shaft
    for (int nRow = 0; nRow < 4; ++nRow)  // head, narrowing to the tip
        painter.drawRect(QRect(4 + nRow, 8 + nRow, 8 - 2 * nRow, 1));
}

QImage DrawIcon(int nSizePx)
{
    QImage image(nSizePx, nSizePx, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    if (nSizePx <= 16) {
        DrawSmallIcon(painter);
    } else {
        painter.scale(nSizePx / 64.0, nSizePx / 64.0);
        DrawLargeIcon(painter);
    }
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
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(11);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    painter.setFont(font);
    painter.setPen(QColor(0xb9, 0xbe, 0xc6));
    painter.drawText(QRectF(122, 40, 96, 20), Qt::AlignCenter, QStringLiteral("TETHERIX"));
}

void DrawConnectorPins(QPainter& painter)
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
    DrawConnectorPins(painter);
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

bool SaveThemeIcons(const QDir& themeDir)
{
    bool bOk = true;
    for (const int nSizePx : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString strSub = QStringLiteral("%1x%1/apps").arg(nSizePx);
        themeDir.mkpath(strSub);
        bOk = Save(DrawIcon(nSizePx), QDir(themeDir.filePath(strSub)),
                   QStringLiteral("kestova-downloader.png")) && bOk;
    }
    return bOk;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--hicolor")
        return SaveThemeIcons(QDir(QString::fromLocal8Bit(argv[2]))) ? 0 : 1;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory> | --hicolor <theme directory>\n",
                     argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    bool bOk = true;
    for (const int nSizePx : {16, 32, 48, 64})
        bOk = Save(DrawIcon(nSizePx), dir, QStringLiteral("icon128_%1.png").arg(nSizePx)) && bOk;
    bOk = Save(DrawEchoLink(), dir, QStringLiteral("bitmap139.png")) && bOk;
    return bOk ? 0 : 1;
}
