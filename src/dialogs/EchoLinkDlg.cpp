#include "dialogs/EchoLinkDlg.h"

#include "res/Resources.h"

CEchoLinkDlg::CEchoLinkDlg(QWidget* pParent)
    : CTemplateDialog(pParent, QString(), 241, 125, EFrame::CloseBox)
{
    QPushButton* pContinue = AddButton("1", QStringLiteral("Continue"), 51, 104, 50, 14, true);
    QPushButton* pCancel = AddButton("2", QStringLiteral("Cancel"), 148, 104, 50, 14, false);
    AddStatic("text",
              QStringLiteral("Using a peice of wire, link the two pins of the Tetherix together "
                             "as shown above."),
              41, 73, 162, 20, true);
    QLabel* pPicture = AddPicture("picture", LoadBitmap139(), 7, 7, 227, 55);
    // The dialog has no caption on screen; assistive technology is told what it is and what the
    // picture shows.
    setAccessibleName(QStringLiteral("Echo Test"));
    pPicture->setAccessibleName(
        QStringLiteral("Picture: the Tetherix cable's three wires end in a black three-pin "
                       "connector, and a short piece of wire links the connector's two signal "
                       "pins."));
    connect(pContinue, &QPushButton::clicked, this, &CEchoLinkDlg::accept);
    connect(pCancel, &QPushButton::clicked, this, &CEchoLinkDlg::reject);
}
