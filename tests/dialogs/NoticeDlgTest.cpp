// The notice driven as a user drives it: the text it shows, OK, Escape, Enter, repeated and
// overlapping showings.
#include "dialogs/NoticeDlg.h"
#include "res/StringTable.h"

#include "ModalAnswerer.h"

#include <QTimer>

#include <memory>

#include <gtest/gtest.h>

namespace {

QString Q(const std::string& strText) { return QString::fromStdString(strText); }

} // namespace

TEST(NoticeDlg, ShowsItsTextUnderTheCaptionAndOkClosesIt)
{
    CNoticeDlg notice;
    notice.m_strText = LoadString(IDS_NOT_DETECTED);
    CModalAnswerer answerer;
    answerer.Press("OK");

    EXPECT_EQ(notice.DoModal(), IDOK);

    ASSERT_EQ(answerer.AnsweredCount(), 1);
    const auto& seen = answerer.Seen()[0];
    EXPECT_EQ(seen.strClass, "CNoticeDlg");
    EXPECT_EQ(seen.strTitle, "Kestova");
    EXPECT_EQ(seen.strText, Q(LoadString(IDS_NOT_DETECTED)));
    EXPECT_EQ(seen.buttons, QStringList{"OK"});
    EXPECT_EQ(notice.m_strText, LoadString(IDS_NOT_DETECTED)); // OK keeps the text
}

TEST(NoticeDlg, HasNoCloseBoxAndItsTextWrapsCentred)
{
    CNoticeDlg notice;
    notice.m_strText = "x";
    CModalAnswerer answerer;
    answerer.Press("OK", [](QWidget* pDialog) {
        EXPECT_FALSE(pDialog->windowFlags().testFlag(Qt::WindowCloseButtonHint));
        EXPECT_FALSE(pDialog->windowFlags().testFlag(Qt::WindowSystemMenuHint));
        auto* pText = pDialog->findChild<QLabel*>("1004");
        ASSERT_NE(pText, nullptr);
        EXPECT_TRUE(pText->wordWrap());
        EXPECT_TRUE(pText->alignment().testFlag(Qt::AlignHCenter));
        EXPECT_EQ(pText->textFormat(), Qt::PlainText);
    });
    notice.DoModal();
    ASSERT_EQ(answerer.AnsweredCount(), 1);
    EXPECT_FALSE(answerer.Seen()[0].bHasCloseBox);
}

TEST(NoticeDlg, ShownTwiceWithoutANewTextShowsTheSameTextAgain)
{
    CNoticeDlg notice;
    notice.m_strText = LoadString(IDS_ECHO_PASSED);
    CModalAnswerer answerer;
    answerer.Press("OK").Press("OK");

    notice.DoModal();
    notice.DoModal();

    ASSERT_EQ(answerer.AnsweredCount(), 2);
    EXPECT_EQ(answerer.Seen()[0].strText, "Echo test passed.\n\nPress OK");
    EXPECT_EQ(answerer.Seen()[1].strText, "Echo test passed.\n\nPress OK");
}

TEST(NoticeDlg, ANewTextReplacesTheOldOneOnTheNextShowing)
{
    CNoticeDlg notice;
    CModalAnswerer answerer;
    answerer.Press("OK").Press("OK");
    notice.m_strText = "Unable to find Tetherix";
    notice.DoModal();
    notice.m_strText = "Cannot find Tetherix port";
    notice.DoModal();
    ASSERT_EQ(answerer.AnsweredCount(), 2);
    EXPECT_EQ(answerer.Seen()[1].strText, "Cannot find Tetherix port");
}

TEST(NoticeDlg, EscapeAndEnterCloseItWithoutHarm)
{
    CNoticeDlg notice;
    notice.m_strText = "Unable to load USB Tetherix driver";
    CModalAnswerer answerer;
    answerer.PressEscape();
    EXPECT_EQ(notice.DoModal(), IDCANCEL);
    EXPECT_EQ(notice.m_strText, "Unable to load USB Tetherix driver");

    // Enter presses the default button, OK.
    answerer.Press("OK", [](QWidget* pDialog) {
        auto* pOk = pDialog->findChild<QPushButton*>("1");
        ASSERT_NE(pOk, nullptr);
        EXPECT_TRUE(pOk->isDefault());
    });
    EXPECT_EQ(notice.DoModal(), IDOK);
    EXPECT_EQ(answerer.AnsweredCount(), 2);
}

TEST(NoticeDlg, ATextThatIsNotUtf8SurvivesOk)
{
    CNoticeDlg notice;
    const std::string strBytes = "Ver \xB2\xFF end\n\nPress OK";
    notice.m_strText = strBytes;
    CModalAnswerer answerer;
    answerer.Press("OK");
    EXPECT_EQ(notice.DoModal(), IDOK);
    EXPECT_EQ(notice.m_strText, strBytes);
}

TEST(NoticeDlg, ANoticeAskedForWhileItIsUpIsShownOnTopAndBothGetAnswered)
{
    CNoticeDlg notice;
    notice.m_strText = "first";
    int nSecondResult = 0;
    // A timer handler of the owner shows the next notice while the first one is still up.
    QObject context; // the timers die with the test
    QTimer::singleShot(50, &context, [&] {
        notice.m_strText = "second";
        nSecondResult = notice.DoModal();
    });
    // Answer only once both are up: the one on top first.
    std::unique_ptr<CModalAnswerer> pAnswerer;
    QTimer::singleShot(300, &context, [&] {
        pAnswerer = std::make_unique<CModalAnswerer>();
        pAnswerer->Press("OK").Press("OK");
    });

    EXPECT_EQ(notice.DoModal(), IDOK);

    EXPECT_EQ(nSecondResult, IDOK);
    ASSERT_TRUE(pAnswerer);
    ASSERT_EQ(pAnswerer->AnsweredCount(), 2);
    EXPECT_EQ(pAnswerer->Seen()[0].strText, "second");
    EXPECT_EQ(pAnswerer->Seen()[1].strText, "first");
    EXPECT_FALSE(notice.IsShowing());
}
