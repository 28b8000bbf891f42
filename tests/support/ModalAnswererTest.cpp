// The dialog answerer that every end-to-end test relies on: it must answer what it is told,
// report what it saw, and turn every surprise into a test failure instead of a hang.
#include "ModalAnswerer.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

int AskYesNo(const QString& strText)
{
    return QMessageBox::question(nullptr, "Kestova", strText, QMessageBox::Yes | QMessageBox::No);
}

// A dialog whose only button does nothing.
class CStubbornDialog : public QDialog {
public:
    CStubbornDialog() { (new QPushButton("Stay", this))->setObjectName("stay"); }
};

// A dialog whose button first asks a question of its own, then closes as accepted.
class CAskingDialog : public QDialog {
public:
    CAskingDialog()
    {
        auto* pNext = new QPushButton("Next", this);
        connect(pNext, &QPushButton::clicked, this, [this] {
            m_nAnswer = AskYesNo("inner");
            accept();
        });
    }
    int m_nAnswer = 0;
};

} // namespace

TEST(ModalAnswerer, AnswersDialogsInTheQueuedOrderAndRecordsThem)
{
    CModalAnswerer answerer;
    answerer.Press("Yes").Press("No").PressEscape();

    EXPECT_EQ(AskYesNo("Are you sure you want to exit?"), QMessageBox::Yes);
    EXPECT_EQ(AskYesNo("second"), QMessageBox::No);
    QMessageBox box(QMessageBox::Information, "Note", "third", QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.exec(), QMessageBox::Cancel);

    ASSERT_EQ(answerer.AnsweredCount(), 3);
    EXPECT_EQ(answerer.PendingCount(), 0);
    const auto& first = answerer.Seen()[0];
    EXPECT_EQ(first.strClass, "QMessageBox");
    EXPECT_EQ(first.strTitle, "Kestova");
    EXPECT_EQ(first.strText, "Are you sure you want to exit?");
    EXPECT_TRUE(first.buttons.contains("Yes") && first.buttons.contains("No"));
    EXPECT_EQ(first.strAnswer, "Press Yes");
    EXPECT_EQ(answerer.Seen()[2].strAnswer, "Escape");
    EXPECT_FALSE(answerer.HasFailed());
}

TEST(ModalAnswerer, AnswersADialogThatAppearsLaterWhileTheTestWaits)
{
    CModalAnswerer answerer;
    answerer.Press("OK");
    int nResult = -1;
    QObject context;
    QTimer::singleShot(100, &context, [&] {
        nResult = QMessageBox::information(nullptr, "Kestova", "later");
    });
    ASSERT_TRUE(answerer.WaitForAnswered(1));
    EXPECT_TRUE(CModalAnswerer::WaitUntil([&] { return nResult != -1; }, 5000));
    EXPECT_EQ(nResult, QMessageBox::Ok);
}

TEST(ModalAnswerer, AnswersADialogOpenedByTheButtonItPressed)
{
    CAskingDialog outer;
    CModalAnswerer answerer;
    answerer.Press("Next").Press("No");
    EXPECT_EQ(outer.exec(), QDialog::Accepted);
    EXPECT_EQ(outer.m_nAnswer, QMessageBox::No);
    ASSERT_EQ(answerer.AnsweredCount(), 2);
    EXPECT_EQ(answerer.Seen()[1].strText, "inner");
}

TEST(ModalAnswerer, WaitingGivesUpAfterItsTimeOut)
{
    CModalAnswerer answerer;
    EXPECT_FALSE(answerer.WaitForAnswered(1, 200));
    EXPECT_FALSE(CModalAnswerer::WaitUntil([] { return false; }, 100));
    EXPECT_TRUE(CModalAnswerer::WaitUntil([] { return true; }, 0));
}

TEST(ModalAnswerer, ADialogNobodyExpectedFailsTheTestAndIsClosed)
{
    int nResult = -1;
    EXPECT_NONFATAL_FAILURE(
        {
            CModalAnswerer answerer;
            nResult = AskYesNo("surprise");
        },
        "no answer queued");
    EXPECT_NE(nResult, -1); // it returned instead of hanging
}

TEST(ModalAnswerer, AMissingButtonFailsTheTestAndClosesTheDialog)
{
    EXPECT_NONFATAL_FAILURE(
        {
            CModalAnswerer answerer;
            answerer.Press("Continue");
            AskYesNo("which?");
        },
        "has no button \"Continue\"");
}

TEST(ModalAnswerer, ADialogThatDoesNotCloseIsClosedAfterTheTimeOut)
{
    CStubbornDialog dialog;
    EXPECT_NONFATAL_FAILURE(
        {
            CModalAnswerer answerer(300);
            answerer.Press("Stay");
            EXPECT_EQ(dialog.exec(), QDialog::Rejected);
        },
        "did not close after its answer");
}

TEST(ModalAnswerer, AnswersLeftOverFailTheTestUnlessAllowed)
{
    EXPECT_NONFATAL_FAILURE(
        {
            CModalAnswerer answerer;
            answerer.Press("OK").Press("OK");
            QMessageBox::information(nullptr, "Kestova", "only one");
        },
        "1 queued answer(s) unused");

    CModalAnswerer relaxed;
    relaxed.Press("OK").AllowUnused();
}

TEST(ModalAnswerer, AnswersEveryOtherDialogWithTheFallBackButton)
{
    CModalAnswerer answerer;
    answerer.Press("No").PressOnAnyOther("Yes");
    EXPECT_EQ(AskYesNo("1"), QMessageBox::No);
    EXPECT_EQ(AskYesNo("2"), QMessageBox::Yes);
    EXPECT_EQ(AskYesNo("3"), QMessageBox::Yes);
    EXPECT_EQ(answerer.AnsweredCount(), 3);
}

TEST(ModalAnswerer, ChoosesAFileInAWidgetFileDialog)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strPath = dir.filePath("update.fwr");
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    CModalAnswerer answerer;
    answerer.ChooseFile(strPath);
    const QString strChosen = QFileDialog::getOpenFileName(
        nullptr, QString(), QDir::tempPath(), "Kestova Programming Files (*.fwr)", nullptr,
        QFileDialog::DontUseNativeDialog);
    EXPECT_EQ(strChosen, strPath);
    ASSERT_EQ(answerer.AnsweredCount(), 1);
    EXPECT_EQ(answerer.Seen()[0].strClass, "QFileDialog");
}

TEST(ModalAnswerer, AFileThatDoesNotExistFailsTheTestAndCancelsTheFileDialog)
{
    QTemporaryDir dir;
    QString strChosen = "unset";
    EXPECT_NONFATAL_FAILURE(
        {
            CModalAnswerer answerer;
            // The file dialog may warn that the file does not exist: OK to that.
            answerer.ChooseFile(dir.filePath("missing.fwr")).PressOnAnyOther("OK");
            strChosen = QFileDialog::getOpenFileName(nullptr, QString(), dir.path(), "*.fwr",
                                                     nullptr, QFileDialog::DontUseNativeDialog);
        },
        "did not accept");
    EXPECT_EQ(strChosen, "");
}
