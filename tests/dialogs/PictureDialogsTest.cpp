// The echo-link picture and the about box: captions, texts, pictures, and every way to close
// them; closing by the close box or Escape counts as Cancel.
#include "dialogs/AboutDlg.h"
#include "dialogs/EchoLinkDlg.h"

#include "ModalAnswerer.h"

#include <gtest/gtest.h>

namespace {

const QString ECHO_LINK_TEXT =
    "Using a peice of wire, link the two pins of the Tetherix together as shown above.";

// The picture label's pixmap is present and not blank.
void ExpectPicture(QWidget* pDialog, const char* pszName)
{
    auto* pPicture = pDialog->findChild<QLabel*>(pszName);
    ASSERT_NE(pPicture, nullptr);
    const QImage image = pPicture->pixmap().toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_NE(image.pixel(image.width() / 2, image.height() / 2) >> 24, 0u)
        << pszName << " is transparent in its middle";
}

} // namespace

TEST(EchoLinkDlg, ShowsThePictureAndTheInstructionUnderAnEmptyCaption)
{
    CEchoLinkDlg echo;
    CModalAnswerer answerer;
    answerer.Press("Continue", [](QWidget* pDialog) {
        ExpectPicture(pDialog, "picture");
        // Assistive technology is told what the dialog is and what its picture shows.
        EXPECT_EQ(pDialog->accessibleName(), "Echo Test");
        EXPECT_TRUE(pDialog->findChild<QLabel*>("picture")->accessibleName().contains("pins"));
    });

    EXPECT_EQ(echo.DoModal(), IDOK);

    ASSERT_EQ(answerer.AnsweredCount(), 1);
    const auto& seen = answerer.Seen()[0];
    EXPECT_EQ(seen.strTitle, "");
    EXPECT_EQ(seen.strText, ECHO_LINK_TEXT);
    EXPECT_EQ(seen.buttons, (QStringList{"Continue", "Cancel"}));
    EXPECT_TRUE(seen.bHasCloseBox);
}

TEST(EchoLinkDlg, CancelEscapeAndTheCloseBoxAllCountAsCancel)
{
    CModalAnswerer answerer;
    answerer.Press("Cancel").PressEscape().CloseWindow();
    for (int i = 0; i < 3; ++i) {
        CEchoLinkDlg echo; // created for each showing, as its owner does
        EXPECT_EQ(echo.DoModal(), IDCANCEL) << answerer.Seen().back().strAnswer.toStdString();
    }
    EXPECT_EQ(answerer.AnsweredCount(), 3);
}

TEST(EchoLinkDlg, EnterStartsTheTestThroughTheDefaultContinue)
{
    CEchoLinkDlg echo;
    auto* pContinue = echo.findChild<QPushButton*>("1");
    ASSERT_NE(pContinue, nullptr);
    EXPECT_TRUE(pContinue->isDefault());
    EXPECT_EQ(pContinue->text(), "Continue");
}

TEST(AboutDlg, ShowsIconNameVersionAndCopyright)
{
    CAboutDlg about;
    CModalAnswerer answerer;
    answerer.Press("OK", [](QWidget* pDialog) { ExpectPicture(pDialog, "icon"); });

    EXPECT_EQ(about.DoModal(), IDOK);

    ASSERT_EQ(answerer.AnsweredCount(), 1);
    const auto& seen = answerer.Seen()[0];
    EXPECT_EQ(seen.strTitle, "About Bootloader");
    EXPECT_EQ(seen.labels, (QStringList{"Kestova Bootloader Ver 2.08", "Copyright (C) Kestova"}));
    EXPECT_TRUE(seen.bHasCloseBox);
}

TEST(AboutDlg, TheCloseBoxAndEscapeCountAsCancel)
{
    CModalAnswerer answerer;
    answerer.CloseWindow().PressEscape();
    for (int i = 0; i < 2; ++i) {
        CAboutDlg about;
        EXPECT_EQ(about.DoModal(), IDCANCEL);
    }
    EXPECT_EQ(answerer.AnsweredCount(), 2);
}
