// Check This Computer… on a fake tree: the summary on top, failures first, each item marked by
// a word as well as an icon and read whole, Check Again, and Copy with the report's header.
#include "app/DoctorDlg.h"
#include "DoctorTestSupport.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

TEST(DoctorDlg, ListsFailuresFirstEachReadWholeAndChecksAgain)
{
    FakeSystemTree tree;
    FakeUsbSerial tetherix = TETHERIX;
    tetherix.latencyMs = "16";
    tree.AddUsbSerial(tetherix);
    tree.AddNode("ttyUSB0", 0660, 20);
    tree.AddProcess(4242, "picocom", {"/dev/ttyUSB0"});
    CDoctorDlg dlg;
    dlg.Run(MachineOn(tree));
    auto* pSummary = dlg.findChild<QLabel*>(QStringLiteral("DoctorSummary"));
    auto* pList = dlg.findChild<QListWidget*>(QStringLiteral("DoctorReport"));
    ASSERT_TRUE(pSummary && pList);
    EXPECT_TRUE(pSummary->text().startsWith(QStringLiteral("2 failures, ")))
        << pSummary->text().toStdString();
    EXPECT_TRUE(pSummary->text().contains(QStringLiteral("Fix this first (udev.rule)")));
    ASSERT_GE(pList->count(), 10);
    EXPECT_TRUE(pList->item(0)->text().startsWith(QStringLiteral("FAILED: ")))
        << pList->item(0)->text().toStdString();
    EXPECT_TRUE(pList->item(1)->text().startsWith(QStringLiteral("FAILED: ")));
    EXPECT_TRUE(pList->item(2)->text().startsWith(QStringLiteral("Warning: ")));
    EXPECT_FALSE(pList->item(0)->icon().isNull());
    EXPECT_EQ(pList->currentRow(), 0);
    // A screen reader reads an item whole: the same words on one line.
    for (int i = 0; i < pList->count(); ++i) {
        const QString spoken = pList->item(i)->data(Qt::AccessibleTextRole).toString();
        EXPECT_EQ(spoken, pList->item(i)->text().simplified());
    }
    // A command stays whole on its line.
    bool bCommand = false;
    for (int i = 0; i < pList->count(); ++i) {
        for (const QString& line : pList->item(i)->text().split(QLatin1Char('\n')))
            bCommand = bCommand || line.trimmed().startsWith(QStringLiteral(
                                       "3. sudo udevadm trigger --subsystem-match=usb "
                                       "--subsystem-match=tty --subsystem-match=usb-serial"));
    }
    EXPECT_TRUE(bCommand);

    dlg.OnCopy();
    const QString copied = QApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith(QStringLiteral("Program:  kestova-downloader ")))
        << copied.toStdString();
    EXPECT_TRUE(copied.contains(QStringLiteral("[FAIL] port.users ttyUSB0")));

    // The holder closed the port: Check Again says so.
    std::filesystem::remove_all(tree.Root() / "proc/4242");
    dlg.findChild<QPushButton*>(QStringLiteral("DoctorAgain"))->click();
    EXPECT_TRUE(pSummary->text().startsWith(QStringLiteral("1 failure, ")))
        << pSummary->text().toStdString();
}
