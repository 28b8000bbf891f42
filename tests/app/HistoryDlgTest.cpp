// Update History…: the window's table of recorded updates, read from a history file.
#include "app/HistoryDlg.h"
#include "device/UpdateRecord.h"
#include "platform/UpdateHistory.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

UpdateRecord Record(const char* time, const char* serial, RecordResult result, int nSent)
{
    UpdateRecord r;
    r.strTime = time;
    r.strFace = "window";
    r.strModel = "kx410";
    r.strSerial = serial;
    r.strAppBefore = "1.00";
    r.strImageSource = "/home/tech/fw, new/kx410-1.07.fwr";
    r.strImageVersion = "1.07";
    r.nLinesSent = nSent;
    r.nTotalLines = 41;
    r.result = result;
    return r;
}

TEST(HistoryDlg, ShowsTheNewestFirstAndCopiesAndExportsItsRows)
{
    QTemporaryDir dir;
    CUpdateHistory history(dir.filePath("kestova/history.jsonl").toStdString());
    // Recorded in this order: the failed run is the newest.
    ASSERT_TRUE(history.Append(RecordJson(Record("2024-05-01T09:30:12Z", "111", RecordResult::Verified, 41))));
    ASSERT_TRUE(history.Append(RecordJson(Record("2024-05-01T10:02:40Z", "222", RecordResult::Failed, 7))));
    HistoryContent content;
    std::string error;
    ASSERT_TRUE(LoadHistory(history, {}, content, error)) << error;

    CHistoryDlg dialog(content.records, "2 updates", nullptr);
    QTableWidget* table = dialog.Table();
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("222"));
    EXPECT_EQ(table->item(0, CHistoryDlg::RESULT_COLUMN)->text(), QStringLiteral("failed at line 7"));
    EXPECT_EQ(table->item(1, 2)->text(), QStringLiteral("111"));
    EXPECT_FALSE(table->accessibleName().isEmpty());
    for (const char* name : {"Copy", "Export"})
        EXPECT_NE(dialog.findChild<QPushButton*>(QLatin1String(name)), nullptr) << name;

    dialog.findChild<QPushButton*>(QStringLiteral("Copy"))->click();
    const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << QApplication::clipboard()->text().toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Time (UTC)\tModel\tSerial\t")));
    EXPECT_EQ(lines[1], QStringLiteral("2024-05-01T10:02:40Z\tkx410\t222\tfailed at line 7\t\t\t1.00\t\t1.07\t"
                                       "7 of 41\twindow\t/home/tech/fw, new/kx410-1.07.fwr"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("2024-05-01T09:30:12Z\tkx410\t111\t")));

    // A cell with a comma is quoted in the CSV file.
    const std::string csvPath = dir.filePath("history.csv").toStdString();
    ASSERT_TRUE(dialog.ExportCsv(csvPath, error)) << error;
    QFile csv(QString::fromStdString(csvPath));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QString exported = QString::fromUtf8(csv.readAll());
    EXPECT_TRUE(exported.contains(QStringLiteral(",window,\"/home/tech/fw, new/kx410-1.07.fwr\"\n"))) << exported.toStdString();
}

// Tab leaves the table for Copy, Export… and Close and comes back; the arrow keys stay for the
// cells. The line above the table is read with it, and the Result column is in sight at the
// dialog's first width, with its longest word whole.
TEST(HistoryDlg, TabLeavesTheTableAndTheResultIsInSight)
{
    UpdateRecord notVerified = Record("2024-05-01T10:02:40Z", "222", RecordResult::Finished, 41);
    notVerified.strAppAfter = "1.00";
    const std::vector<UpdateRecord> records = {
        notVerified, Record("2024-05-01T09:30:12Z", "111", RecordResult::Failed, 326)};
    const std::string note =
        "2 updates recorded; 1 line could not be read. Newest first, from /h.jsonl.";
    CHistoryDlg dialog(records, note, nullptr);
    dialog.show();
    dialog.activateWindow();
    for (int i = 0; i < 500 && QApplication::activeWindow() != &dialog; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(QApplication::activeWindow(), &dialog);
    QTableWidget* table = dialog.Table();
    ASSERT_EQ(QApplication::focusWidget(), table);
    EXPECT_EQ(table->accessibleDescription().toStdString(), note);
    EXPECT_EQ(dialog.Note()->buddy(), table);

    QStringList reached;
    for (int i = 0; i < 4; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(QApplication::focusWidget(), &press);
        QWidget* focus = QApplication::focusWidget();
        reached << (focus == table                  ? QStringLiteral("table")
                    : focus->objectName().isEmpty() ? focus->property("text").toString().remove('&')
                                                    : focus->objectName());
    }
    EXPECT_EQ(reached.join(','), QStringLiteral("Copy,Export,Close,table"));

    const QHeaderView* header = table->horizontalHeader();
    const int column = CHistoryDlg::RESULT_COLUMN;
    EXPECT_EQ(table->item(0, column)->text(), QStringLiteral("finished, not verified"));
    EXPECT_LE(header->sectionViewportPosition(column) + header->sectionSize(column),
              table->viewport()->width());
    EXPECT_GE(header->sectionSize(column),
              table->fontMetrics().horizontalAdvance(QStringLiteral("finished, not verified")));
}

} // namespace
