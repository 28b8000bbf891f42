// Update History…: the window's table of recorded updates, read from a history file.
#include "app/HistoryDlg.h"
#include "device/UpdateRecord.h"
#include "platform/UpdateHistory.h"

#include <QApplication>
#include <QClipboard>
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
    std::vector<UpdateRecord> records;
    std::string error;
    ASSERT_TRUE(LoadHistory(history, {}, records, error)) << error;

    CHistoryDlg dialog(records, "2 updates", nullptr);
    QTableWidget* table = dialog.Table();
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("222"));
    EXPECT_EQ(table->item(0, 9)->text(), QStringLiteral("failed at line 7"));
    EXPECT_EQ(table->item(1, 2)->text(), QStringLiteral("111"));
    EXPECT_FALSE(table->accessibleName().isEmpty());
    for (const char* name : {"Copy", "Export"})
        EXPECT_NE(dialog.findChild<QPushButton*>(QLatin1String(name)), nullptr) << name;

    dialog.findChild<QPushButton*>(QStringLiteral("Copy"))->click();
    const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << QApplication::clipboard()->text().toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Time (UTC)\tModel\tSerial\t")));
    EXPECT_EQ(lines[1], QStringLiteral("2024-05-01T10:02:40Z\tkx410\t222\t\t\t1.00\t\t1.07\t7 of 41\t"
                                       "failed at line 7\twindow\t/home/tech/fw, new/kx410-1.07.fwr"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("2024-05-01T09:30:12Z\tkx410\t111\t")));

    // A cell with a comma is quoted in the CSV file.
    const std::string csvPath = dir.filePath("history.csv").toStdString();
    ASSERT_TRUE(dialog.ExportCsv(csvPath, error)) << error;
    QFile csv(QString::fromStdString(csvPath));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QString exported = QString::fromUtf8(csv.readAll());
    EXPECT_TRUE(exported.contains(QStringLiteral(",window,\"/home/tech/fw, new/kx410-1.07.fwr\"\n"))) << exported.toStdString();
}

} // namespace
