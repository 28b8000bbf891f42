// The Continue/Abort prompt driven as a user drives it: the choice it reports, Escape giving no
// choice, Enter, the window frame.
#include "dialogs/PromptDlg.h"
#include "res/StringTable.h"

#include "ModalAnswerer.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

TEST(PromptDlg, ShowsItsTextAndContinueOrAbortCloseAsOkWithTheChoice)
{
    CPromptDlg prompt;
    prompt.m_strText = LoadString(IDS_UNPLUG_PROMPT);
    CModalAnswerer answerer;
    answerer.Press("Continue").Press("Abort");

    EXPECT_EQ(prompt.DoModal(), IDOK);
    EXPECT_EQ(prompt.m_nChoice, CPromptDlg::CHOICE_CONTINUE);
    EXPECT_EQ(prompt.DoModal(), IDOK);
    EXPECT_EQ(prompt.m_nChoice, CPromptDlg::CHOICE_ABORT);

    ASSERT_EQ(answerer.AnsweredCount(), 2);
    for (const auto& seen : answerer.Seen()) {
        EXPECT_EQ(seen.strTitle, "Kestova");
        EXPECT_EQ(seen.strText, QString::fromStdString(LoadString(IDS_UNPLUG_PROMPT)));
        EXPECT_EQ(seen.buttons, (QStringList{"Continue", "Abort"}));
        EXPECT_FALSE(seen.bHasCloseBox);
    }
    EXPECT_EQ(prompt.m_strText, LoadString(IDS_UNPLUG_PROMPT));
    EXPECT_EQ(CPromptDlg::CHOICE_CONTINUE, 1);
    EXPECT_EQ(CPromptDlg::CHOICE_ABORT, 2);
}

TEST(PromptDlg, EscapeGivesNoChoiceWhateverTheEarlierChoiceWas)
{
    CPromptDlg prompt;
    prompt.m_strText = LoadString(IDS_PLUG_IN_PROMPT);
    CModalAnswerer answerer;
    answerer.Press("Continue").PressEscape().Press("Abort").PressEscape();

    ASSERT_EQ(prompt.DoModal(), IDOK);
    EXPECT_EQ(prompt.DoModal(), IDCANCEL);
    EXPECT_EQ(prompt.m_nChoice, CPromptDlg::CHOICE_CONTINUE); // untouched; not to be read
    ASSERT_EQ(prompt.DoModal(), IDOK);
    EXPECT_EQ(prompt.DoModal(), IDCANCEL);
    EXPECT_EQ(prompt.m_nChoice, CPromptDlg::CHOICE_ABORT);
    EXPECT_EQ(answerer.AnsweredCount(), 4);
}

TEST(PromptDlg, ClosingTheWindowCountsAsNoChoice)
{
    CPromptDlg prompt;
    prompt.m_strText = "x";
    CModalAnswerer answerer;
    answerer.CloseWindow();
    EXPECT_EQ(prompt.DoModal(), IDCANCEL);
    EXPECT_EQ(prompt.m_nChoice, 0);
}

TEST(PromptDlg, EnterPressesTheFocusedContinueAndNeverClosesWithoutAChoice)
{
    CPromptDlg prompt;
    prompt.m_strText = "x";
    prompt.m_nChoice = CPromptDlg::CHOICE_ABORT; // left from an earlier showing
    // A real Enter key on the focused button; the fall-back closes it should Enter not.
    QObject context;
    QTimer::singleShot(50, &context, [] {
        QWidget* pFocus = QApplication::focusWidget();
        ASSERT_NE(pFocus, nullptr);
        EXPECT_EQ(pFocus->objectName(), "1002"); // Continue, the first button
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(pFocus, &enter);
    });
    QTimer::singleShot(5000, &context, [&prompt] { prompt.reject(); });

    EXPECT_EQ(prompt.DoModal(), IDOK);
    EXPECT_EQ(prompt.m_nChoice, CPromptDlg::CHOICE_CONTINUE);
}

TEST(PromptDlg, APromptAskedForWhileItIsUpAsksOnTopAndReportsThatChoice)
{
    CPromptDlg prompt;
    prompt.m_strText = "first";
    int nSecondResult = 0;
    int nSecondChoice = 0;
    QObject context; // the timers die with the test
    QTimer::singleShot(50, &context, [&] {
        prompt.m_strText = "second";
        nSecondResult = prompt.DoModal();
        nSecondChoice = prompt.m_nChoice;
    });
    std::unique_ptr<CModalAnswerer> pAnswerer;
    QTimer::singleShot(300, &context, [&] {
        pAnswerer = std::make_unique<CModalAnswerer>();
        pAnswerer->Press("Abort").Press("Continue");
    });

    EXPECT_EQ(prompt.DoModal(), IDOK);

    EXPECT_EQ(nSecondResult, IDOK);
    EXPECT_EQ(nSecondChoice, CPromptDlg::CHOICE_ABORT);
    EXPECT_EQ(prompt.m_nChoice, CPromptDlg::CHOICE_CONTINUE);
    ASSERT_TRUE(pAnswerer);
    ASSERT_EQ(pAnswerer->AnsweredCount(), 2);
    EXPECT_EQ(pAnswerer->Seen()[0].strText, "second");
    EXPECT_EQ(pAnswerer->Seen()[1].strText, "first");
}
