// Every dialog is laid out from its template: the window and each control at the template's
// position, in dialog units of the dialog's own font, with the control ids as object names.
#include "dialogs/AboutDlg.h"
#include "dialogs/EchoLinkDlg.h"
#include "dialogs/NoticeDlg.h"
#include "dialogs/PromptDlg.h"
#include "platform/DialogUnits.h"
#include "res/Resources.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Control {
    const char* pszName;
    QRect rectDlu;
};

void ExpectTemplate(QDialog& dialog, QSize sizeDlu, const std::vector<Control>& controls)
{
    const CDialogUnits units(dialog.font());
    EXPECT_EQ(dialog.size(), QSize(units.X(sizeDlu.width()), units.Y(sizeDlu.height())));
    for (const Control& control : controls) {
        auto* pWidget = dialog.findChild<QWidget*>(control.pszName);
        ASSERT_NE(pWidget, nullptr) << control.pszName;
        const QRect& r = control.rectDlu;
        EXPECT_EQ(pWidget->geometry(), units.Rect(r.x(), r.y(), r.width(), r.height()))
            << control.pszName;
    }
}

} // namespace

TEST(DialogTemplates, EveryControlSitsAtItsTemplatePosition)
{
    CNoticeDlg notice;
    ExpectTemplate(notice, {182, 82}, {{"1", {68, 61, 50, 14}}, {"1004", {7, 7, 168, 53}}});
    CPromptDlg prompt;
    ExpectTemplate(prompt, {179, 76},
                   {{"1001", {7, 7, 165, 41}},
                    {"1002", {36, 55, 48, 14}},
                    {"1003", {96, 55, 48, 14}}});
    CEchoLinkDlg echo;
    ExpectTemplate(echo, {241, 125},
                   {{"1", {51, 104, 50, 14}},
                    {"2", {148, 104, 50, 14}},
                    {"text", {41, 73, 162, 20}},
                    {"picture", {7, 7, 227, 55}}});
    CAboutDlg about;
    ExpectTemplate(about, {235, 55},
                   {{"icon", {11, 17, 20, 20}},
                    {"version", {40, 10, 119, 8}},
                    {"copyright", {40, 25, 119, 8}},
                    {"1", {178, 7, 50, 14}}});
}

TEST(DialogTemplates, TheLongestTextsFitTheirStaticControls)
{
    // The texts wrap inside the control's width; the wrapped text must not need more height
    // than the control has, or its last line ("Press OK") would be cut off.
    CNoticeDlg notice;
    auto* pText = notice.findChild<QLabel*>("1004");
    ASSERT_NE(pText, nullptr);
    const QString strLongest = QString::fromLatin1(
        "Unable to open Tetherix.  Check that the Tetherix not being used by another program, "
        "it is plugged into this computer and the correct driver has been installed.  "
        "\n\nPress OK");
    const QRect needed = pText->fontMetrics().boundingRect(
        QRect(0, 0, pText->width(), 10000), Qt::TextWordWrap | Qt::AlignHCenter, strLongest);
    EXPECT_LE(needed.height(), pText->height());
}

TEST(Resources, IconAndBitmapAreBuiltIn)
{
    const QIcon icon = LoadAppIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int nSizePx : {16, 32, 48, 64})
        EXPECT_TRUE(icon.availableSizes().contains(QSize(nSizePx, nSizePx))) << nSizePx;
    const QPixmap bitmap = LoadBitmap139();
    ASSERT_FALSE(bitmap.isNull());
    EXPECT_EQ(bitmap.size(), QSize(ECHO_LINK_WIDTH_PX, ECHO_LINK_HEIGHT_PX));
    EXPECT_EQ(bitmap.size(), QSize(340, 90));
}
