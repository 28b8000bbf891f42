// Open Local File with files a user may really pick: good ones without a final line break,
// oversized ones, binary junk, a pipe; and where the next file dialog opens.
#include "UsbFixture.h"

#include "res/StringTable.h"

#include <QApplication>
#include <QFileDialog>
#include <QPushButton>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

const std::string NOT_SUITABLE = "The selected firmware is not suitable for your kx410";
const std::string OPEN_ERROR = "File Error - Unable to open selected file, try again";

class OpenFile : public UsbFixture {
protected:
    void StartIdentified()
    {
        WriteSettings("[Settings]\nCOM PORT=USB\nLAST DIRECTORY=" + m_dir + "\n");
        StartDialog();
        ASSERT_TRUE(WaitForIdentified());
    }
    // Picks the file in the real file dialog and answers the notice that follows, if any;
    // returns the notice's text (empty when none appeared).
    std::string PickExpectingNotice(const std::string& path)
    {
        CModalAnswerer answerer;
        answerer.ChooseFile(QString::fromStdString(path)).Press("OK");
        Page().OpenFile()->click();
        EXPECT_TRUE(answerer.WaitForAnswered(2));
        return answerer.Seen().size() == 2 ? answerer.Seen()[1].strText.toStdString() : "";
    }
    std::string MakeSubdir(const std::string& name)
    {
        const std::string dir = m_dir + "/" + name;
        std::filesystem::create_directories(dir);
        return dir;
    }
};

TEST_F(OpenFile, AFileGivenAtStartIsOpenedOnceTheUnitIsIdentified)
{
    const std::string path = WriteImageFile(4, nullptr);
    WriteSettings("[Settings]\nCOM PORT=USB\nLAST DIRECTORY=" + m_dir + "\n");
    m_dlg = std::make_unique<CDownloaderDlg>();
    m_dlg->SetProgramDirOverride(m_dir);
    m_dlg->SetStartFile(path);
    m_dlg->OnInitDialog();
    m_dlg->show();
    EXPECT_TRUE(ListContains(path + " will be opened once a unit is identified: waiting for the unit."));
    EXPECT_FALSE(Page().Send()->isEnabled());
    ASSERT_TRUE(WaitForIdentified());
    ASSERT_TRUE(WaitUntil([&] { return Page().Send()->isEnabled(); }));
    EXPECT_EQ(Page().FirmwarePath(), path);
    EXPECT_EQ(ListLines().back(), "Ready to update your kx410. Press send.");
}

TEST_F(OpenFile, FileWithoutFinalLineBreakIsAcceptedAndAnnouncedWithB)
{
    StartIdentified();
    const std::string path = m_dir + "/no-final-break.fwr";
    std::ofstream(path, std::ios::binary) << "PID:0410\n:10000000AB\n:0000000119";
    OpenLocalFile(path);
    EXPECT_TRUE(Page().Send()->isEnabled());
    EXPECT_EQ(m_dlg->Engine().ImageLineCount(), 2);
    EXPECT_EQ(ListLines().back(), "Ready to update your kx410. Press send.");
    ASSERT_TRUE(WaitUntil([&] {
        const std::string received = m_cable->UnitReceived();
        return received.find('B', received.rfind("16EAaa") + 6) != std::string::npos;
    }, 3000));
}

TEST_F(OpenFile, MegabyteOfNotesIsShownAndTheWindowAnswersAClickAtOnce)
{
    StartIdentified();
    // Words, then a run without blanks that must be broken hard, then a last word.
    std::string notes;
    while (notes.size() < 600000)
        notes += "smoother servo ramps ";
    notes += std::string(400000, 'x') + " lastword";
    const std::string path = m_dir + "/long-notes.fwr";
    std::ofstream(path, std::ios::binary) << "VER:0105\nPID:0410\nINFO:" << notes
                                          << "\n:10000000AB\n:0000000119\n";
    OpenLocalFile(path);
    EXPECT_TRUE(Page().Send()->isEnabled());
    const auto lines = ListLines();
    EXPECT_GT(Page().List()->count(), 10000); // the notes: one line over many rows
    EXPECT_EQ(lines.back(), "Ready to update your kx410. Press send.");
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.size() >= 8 && line.compare(line.size() - 8, 8, "lastword") == 0;
    }));

    // A click reaches its handler in the very next pass of the event loop.
    bool bClicked = false;
    QPushButton probe(m_dlg.get());
    QObject::connect(&probe, &QPushButton::clicked, [&] { bClicked = true; });
    QMetaObject::invokeMethod(&probe, &QPushButton::click, Qt::QueuedConnection);
    QApplication::processEvents();
    EXPECT_TRUE(bClicked);
}

TEST_F(OpenFile, OversizedFileIsRefusedWithoutBeingRead)
{
    StartIdentified();
    const std::string dir = MakeSubdir("big");
    const std::string path = dir + "/huge.fwr";
    {
        std::ofstream(path, std::ios::binary) << "VER:0105\n";
    }
    ASSERT_EQ(truncate(path.c_str(), 17 * 1024 * 1024), 0);
    const std::string notice = PickExpectingNotice(path);
    EXPECT_EQ(notice.rfind("File Error - The selected file is too large", 0), 0u) << notice;
    EXPECT_FALSE(Page().Send()->isEnabled());
    // The directory is remembered even though the file was refused.
    EXPECT_NE(ReadSettings().find("LAST DIRECTORY=" + dir + "\n"), std::string::npos);
    EXPECT_EQ(Page().LastDirectory(), dir);
}

TEST_F(OpenFile, BinaryJunkAndEndlessLinesAreRejectedByValidation)
{
    StartIdentified();
    const std::string path = m_dir + "/junk.fwr";
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 300000; ++i)
            out.put(static_cast<char>((i * 131 + 7) & 0xFF));
        out << std::string(2 * 1024 * 1024, 'x'); // one line of 2 MiB
        out.put('\0');
    }
    CModalAnswerer answerer; // a rejection is reported in the list, not in a notice
    answerer.ChooseFile(QString::fromStdString(path));
    Page().OpenFile()->click();
    EXPECT_EQ(answerer.AnsweredCount(), 1);
    EXPECT_EQ(ListLines().back(), NOT_SUITABLE);
    EXPECT_FALSE(Page().Send()->isEnabled());
    EXPECT_TRUE(Page().OpenFile()->isEnabled());
    EXPECT_EQ(m_dlg->Engine().Phase(), EnginePhase::Identified);
}

TEST_F(OpenFile, PipeIsRefusedInsteadOfHoldingTheWindow)
{
    StartIdentified();
    const std::string path = m_dir + "/pipe.fwr";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(PickExpectingNotice(path), OPEN_ERROR);
    EXPECT_FALSE(Page().Send()->isEnabled());
}

TEST_F(OpenFile, CancelChangesNothingAndTheNextDialogOpensInTheLastDirectory)
{
    StartIdentified();
    const std::string before = ReadSettings();
    {
        CModalAnswerer answerer;
        answerer.Press("Cancel", [&](QWidget* dialog) {
            auto* fileDialog = qobject_cast<QFileDialog*>(dialog);
            ASSERT_NE(fileDialog, nullptr);
            EXPECT_EQ(fileDialog->nameFilters().join(";").toStdString(),
                      "Kestova Programming Files (*.fwr)");
            EXPECT_EQ(fileDialog->directory().absolutePath().toStdString(), m_dir);
        });
        Page().OpenFile()->click();
        EXPECT_EQ(answerer.AnsweredCount(), 1);
    }
    EXPECT_EQ(ReadSettings(), before);

    const std::string dir = MakeSubdir("images");
    ASSERT_EQ(mkfifo((dir + "/pipe.fwr").c_str(), 0600), 0);
    EXPECT_EQ(PickExpectingNotice(dir + "/pipe.fwr"), OPEN_ERROR);
    CModalAnswerer answerer;
    answerer.Press("Cancel", [&](QWidget* dialog) {
        auto* fileDialog = qobject_cast<QFileDialog*>(dialog);
        ASSERT_NE(fileDialog, nullptr);
        EXPECT_EQ(fileDialog->directory().absolutePath().toStdString(), dir);
    });
    Page().OpenFile()->click();
}

} // namespace
