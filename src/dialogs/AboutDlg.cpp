#include "dialogs/AboutDlg.h"

#include "res/Resources.h"

namespace {

// The icon is drawn at the largest of its sizes that fits the icon area.
QPixmap IconFor(const QSize& area)
{
    const int nSide = qMin(area.width(), area.height());
    int nSizePx = 16;
    for (const int nCandidatePx : {32, 48, 64})
        if (nCandidatePx <= nSide)
            nSizePx = nCandidatePx;
    return LoadAppIcon().pixmap(nSizePx, nSizePx);
}

} // namespace

CAboutDlg::CAboutDlg(QWidget* pParent)
    : CTemplateDialog(pParent, QStringLiteral("About Bootloader"), 235, 55, EFrame::CloseBox)
{
    QLabel* pIcon = AddPicture("icon", QPixmap(), 11, 17, 20, 20);
    pIcon->setPixmap(IconFor(pIcon->size()));
    AddStatic("version", QStringLiteral("Kestova Bootloader Ver 2.08"), 40, 10, 119, 8, false);
    AddStatic("copyright", QStringLiteral("Copyright (C) Kestova"), 40, 25, 119, 8, false);
    QPushButton* pOk = AddButton("1", QStringLiteral("OK"), 178, 7, 50, 14, true);
    connect(pOk, &QPushButton::clicked, this, &CAboutDlg::accept);
}
