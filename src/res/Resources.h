// The downloader's pictures, built into the program as Qt resources: icon 128 (the window and
// about-box icon, a chip with a download arrow) and bitmap 139 (the echo link of the cable's pins).
#pragma once

#include <QIcon>
#include <QPixmap>

constexpr int IDR_MAINFRAME = 128; // application icon
constexpr int IDB_ECHO_LINK = 139; // the Tetherix cable's two pins linked by a wire
constexpr int ECHO_LINK_WIDTH_PX = 340;
constexpr int ECHO_LINK_HEIGHT_PX = 90;

// Icon 128 with its drawings at 16, 32, 48 and 64 pixels.
QIcon LoadAppIcon();
// Bitmap 139, 340 x 90 pixels.
QPixmap LoadBitmap139();
