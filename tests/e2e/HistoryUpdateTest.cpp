// Update History… opened while an update runs: a history that cannot be read (a folder in the
// file's place) is said in the dialog, and the update goes on to its verdict.
#include "E2eFixture.h"

#include "platform/UpdateHistory.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>

#include <filesystem>

namespace {

using HistoryMidUpdate = E2eFixture;

TEST_F(HistoryMidUpdate, AHistoryThatCannotBeReadIsSaidAndTheUpdateVerifies)
{
    StartUpdate({"--baud-pace"}, 40);
    const std::string path = m_dir + "/state/kestova/history.jsonl";
    std::filesystem::create_directories(path);
    CUpdateHistory history(path);
    m_dlg->SetUpdateHistory(&history);

    CModalAnswerer answerer;
    QString note;
    int rows = -1;
    answerer.Press("Close", [&](QWidget* dialog) {
        note = dialog->findChild<QLabel*>(QStringLiteral("HistoryNote"))->text();
        rows = dialog->findChild<QTableWidget*>(QStringLiteral("HistoryTable"))->rowCount();
    });
    answerer.PressOnAnyOther("OK");
    Page().Send()->click();
    ASSERT_TRUE(WaitUntil([&] { return Page().Progress()->value() >= 3; }, 15000));
    // As the window menu opens it: its Update History… item.
    QAction* item = nullptr;
    for (QAction* action : m_dlg->findChildren<QAction*>())
        if (action->text() == QStringLiteral("Update History\u2026"))
            item = action;
    ASSERT_NE(item, nullptr);
    item->trigger();
    ASSERT_EQ(answerer.AnsweredCount(), 1);
    EXPECT_EQ(note.toStdString(),
              "The update history " + path + " cannot be read: Is a directory.");
    EXPECT_EQ(rows, 0);
    EXPECT_LT(Page().Progress()->value(), 40) << "the dialog was opened after the update";

    ASSERT_TRUE(
        WaitUntil([&] { return ListContains("Update verified: kx410 now runs Ver 1.07"); }, 30000));
    EXPECT_EQ(answerer.AnsweredCount(), 1) << answerer.Seen().back().strText.toStdString();
    // The record that cannot be written is said once, beside the verdict.
    int said = 0;
    for (const std::string& line : ListLines())
        said += line.find("cannot be written") != std::string::npos ? 1 : 0;
    EXPECT_LE(said, 1);
}

} // namespace
