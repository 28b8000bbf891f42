#include "res/Resources.h"

#include <mutex>

namespace {

const int ICON_SIZES_PX[] = {16, 32, 48, 64};

} // namespace

// The resource file is compiled into a static library: register it explicitly before first use,
// so that the pictures are found whichever program links the library.
static void InitResources()
{
    static std::once_flag s_once;
    std::call_once(s_once, [] { Q_INIT_RESOURCE(kx_res); });
}

QIcon LoadAppIcon()
{
    InitResources();
    QIcon icon;
    for (const int nSizePx : ICON_SIZES_PX)
        icon.addFile(QStringLiteral(":/kx/icon128_%1.png").arg(nSizePx), QSize(nSizePx, nSizePx));
    return icon;
}

QPixmap LoadBitmap139()
{
    InitResources();
    return QPixmap(QStringLiteral(":/kx/bitmap139.png"));
}
