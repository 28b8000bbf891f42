// Whole updates over a COM port: the real dialog and COM-port driver against kx410-sim on a
// pseudo-terminal.
#include "E2eFixture.h"

#include "device/DeviceNotices.h"
#include "res/StringTable.h"

namespace {

const std::vector<std::string> IDENTIFIED_LINES = {
    "Found Device: kx410", "Boot Loader Version: 2.08", "Application Version: 1.00",
    "Serial Number: 12345", "Press Open File or Get from Web"};

using ComUpdate = E2eFixture;

TEST_F(ComUpdate, WholeUpdateFromALocalFile)
{
    ASSERT_TRUE(m_unit.Start());
    StartDialog();
    ChoosePortFromList(m_unit.PortName());
    EXPECT_NE(ReadSettings().find("COM PORT=" + m_unit.PortName()), std::string::npos);
    ASSERT_TRUE(WaitForIdentified());
    EXPECT_EQ(ListLines(), IDENTIFIED_LINES);
    EXPECT_FALSE(Page().Detect()->isEnabled());
    EXPECT_FALSE(Page().PortList()->isEnabled());
    EXPECT_TRUE(Page().OpenFile()->isEnabled());
    EXPECT_TRUE(Page().GetFromWeb()->isEnabled());
    EXPECT_FALSE(Page().Send()->isEnabled());

    std::vector<std::string> dataLines;
    const std::string path = WriteImageFile(12, &dataLines);
    OpenLocalFile(path);
    EXPECT_NE(ReadSettings().find("LAST DIRECTORY=" + m_dir + "\n"), std::string::npos);
    EXPECT_TRUE(ListContains("The following firmware was found for your kx410: Ver 1.07"));
    EXPECT_TRUE(ListContains("Version Notes: Smoother servo response"));
    EXPECT_TRUE(ListContains("Ready to update your kx410. Press send."));
    ASSERT_TRUE(Page().Send()->isEnabled());
    EXPECT_EQ(m_dlg->Engine().Phase(), EnginePhase::Identified);

    Page().Send()->click();
    ASSERT_TRUE(WaitUntil([&] { return ListContains("Programming successful. "); }, 20000));
    EXPECT_EQ(Page().Progress()->value(), 12);
    EXPECT_EQ(Page().Progress()->maximum(), 12);
    EXPECT_TRUE(ListContains("Please unplug the Tetherix and power off your kx410."));
    EXPECT_TRUE(ListContains("Before you fly ensure that the controls operate correctly."));

    // The unit answers "C" once and falls silent: after 500 ms the list is cleared and the
    // downloader connects again, ready for the next unit.
    ASSERT_TRUE(WaitUntil([&] {
        const auto lines = ListLines();
        return m_dlg->Engine().Phase() == EnginePhase::Connecting && lines.size() == 1 &&
               lines[0].rfind("Trying to connect", 0) == 0;
    }, 5000));
    EXPECT_FALSE(Page().Send()->isEnabled());
    EXPECT_TRUE(Page().Detect()->isEnabled());
    EXPECT_EQ(Page().Progress()->value(), 0);

    const std::string received = m_unit.StopAndReadLog();
    std::string expectedData;
    for (const auto& line : dataLines)
        expectedData += line + "aa";
    EXPECT_NE(received.find(expectedData), std::string::npos) << received;
    // "B" once after the image was accepted (the wake-up text "15EBaa" carries a B of its own).
    EXPECT_EQ(CountOccurrences(received, "B") - CountOccurrences(received, "15EB"), 1);
    EXPECT_GE(CountOccurrences(received, "C"), 1);
    EXPECT_EQ(received.find("VER:"), std::string::npos);
    EXPECT_EQ(received.find("PID:"), std::string::npos);
}

TEST_F(ComUpdate, CorruptReportEndsTheRunWithANoticeAndAReset)
{
    StartUpdate({"--corrupt-at", "3"}, 8);
    EXPECT_EQ(SendExpectingNotice(),
              "The kx410 reported a corrupt program was sent.  Reset the kx410 and try again. "
              "\n\nPress OK");
    EXPECT_FALSE(Page().Send()->isEnabled());
    // The unit is identified anew; the rest of the image is not sent later.
    ASSERT_TRUE(WaitForIdentified());
    EXPECT_FALSE(Page().Send()->isEnabled());
    EXPECT_TRUE(static_cast<std::size_t>(m_dlg->Engine().LinesLeft()) == 5u);
}

TEST_F(ComUpdate, CableVanishingMidUpdateGivesNoticesAndNoHang)
{
    m_unit.UseOwnName();
    StartUpdate({"--baud-pace"}, 60);
    CModalAnswerer answerer;
    answerer.PressOnAnyOther("OK");
    Page().Send()->click();
    ASSERT_TRUE(WaitUntil([&] { return Page().Progress()->value() >= 3; }, 15000));
    m_unit.Vanish();
    // The run fails as soon as the link does; reopening the vanished port fails too.
    ASSERT_TRUE(answerer.WaitForAnswered(2, 20000));
    EXPECT_EQ(answerer.Seen()[0].strText.toStdString(), UpdateFailedNotice("kx410"));
    const std::string unable = LoadString(IDS_UNABLE_TO_OPEN);
    EXPECT_EQ(answerer.Seen()[1].strText.toStdString(),
              unable.substr(0, unable.rfind("\n\nPress OK")) + "\n\nThe Tetherix was unplugged.\n\nPress OK");
    EXPECT_TRUE(PortEntries().empty());
    EXPECT_EQ(Page().PortName(), "");
    EXPECT_TRUE(Page().Detect()->isEnabled());
    EXPECT_FALSE((m_dlg->Engine().IsLinkOpen() && !m_dlg->Engine().IsUsbLink()));
}

TEST_F(ComUpdate, GarbageBeforeTheIdentificationAndPacedChunksAreHandled)
{
    ASSERT_TRUE(m_unit.Start({"--garbage", "--baud-pace", "--serial", "4294967295"}));
    StartDialog();
    ChoosePortFromList(m_unit.PortName());
    ASSERT_TRUE(WaitForIdentified(10000));
    const auto lines = ListLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Found Device: kx410");
    EXPECT_EQ(lines[3], "Serial Number: -1");
}

TEST_F(ComUpdate, DetectFindsTheOneNewPortAndConnects)
{
    ASSERT_TRUE(m_unit.Start());
    AddFakePort("ttyS0", "pnp");
    StartDialog();
    CModalAnswerer answerer;
    answerer.Press("Continue")
        .Press("Continue", [&](QWidget*) {
            // The cable is plugged in while the second prompt is up.
            setenv("KX_EXTRA_COM_PORTS", m_unit.PortName().c_str(), 1);
        })
        .Press("OK");
    Page().Detect()->click();
    ASSERT_EQ(answerer.AnsweredCount(), 3);
    EXPECT_EQ(answerer.Seen()[0].strText.toStdString(), LoadString(IDS_UNPLUG_PROMPT));
    EXPECT_EQ(answerer.Seen()[1].strText.toStdString(), LoadString(IDS_PLUG_IN_PROMPT));
    EXPECT_EQ(answerer.Seen()[2].strText.toStdString(),
              "Found Tetherix Cable on " + m_unit.PortName() + ". " +
                  LoadString(IDS_PLUG_INTO_DEVICE));
    EXPECT_EQ(PortEntries(), std::vector<std::string>{m_unit.PortName()});
    EXPECT_NE(ReadSettings().find("COM PORT=" + m_unit.PortName()), std::string::npos);
    ASSERT_TRUE(WaitForIdentified());
}

TEST_F(ComUpdate, DetectRefusesTwoNewPorts)
{
    StartDialog();
    CModalAnswerer answerer;
    answerer.Press("Continue")
        .Press("Continue", [&](QWidget*) {
            AddFakePort("ttyUSB0");
            AddFakePort("ttyUSB1");
        })
        .Press("OK");
    Page().Detect()->click();
    ASSERT_EQ(answerer.AnsweredCount(), 3);
    EXPECT_EQ(answerer.Seen()[2].strText.toStdString(), LoadString(IDS_NOT_DETECTED));
    EXPECT_TRUE(PortEntries().empty());
    EXPECT_EQ(m_dlg->Engine().Phase(), EnginePhase::Idle);
}

TEST_F(ComUpdate, DetectAbortedAtFirstPromptKeepsTheLinkAndWakesAgain)
{
    ASSERT_TRUE(m_unit.Start());
    StartDialog();
    ChoosePortFromList(m_unit.PortName());
    CModalAnswerer answerer;
    answerer.Press("Abort");
    Page().Detect()->click();
    EXPECT_EQ(answerer.AnsweredCount(), 1);
    EXPECT_TRUE((m_dlg->Engine().IsLinkOpen() && !m_dlg->Engine().IsUsbLink()));
    EXPECT_TRUE((m_dlg->Engine().State() == EngineState::Waking));
    ASSERT_TRUE(WaitForIdentified());
}

TEST_F(ComUpdate, OpeningThePortListClosesTheLinkAndClosingItEmptyEmptiesIt)
{
    ASSERT_TRUE(m_unit.Start());
    StartDialog();
    ChoosePortFromList(m_unit.PortName());
    ASSERT_TRUE(WaitForIdentified());
    Page().PortList()->setEnabled(true);
    Page().PortList()->showPopup();
    EXPECT_FALSE((m_dlg->Engine().IsLinkOpen() && !m_dlg->Engine().IsUsbLink()));
    EXPECT_TRUE(ListLines().empty());
    EXPECT_EQ(m_dlg->Engine().Phase(), EnginePhase::Idle);
    Page().PortList()->hidePopup();
    ASSERT_TRUE(WaitUntil([&] { return PortEntries().empty(); }, 2000));
    EXPECT_EQ(Page().PortName(), "");
}

TEST_F(ComUpdate, ChosenPortUnpluggedAndPluggedBackIsUsedAgainWithoutTheUser)
{
    ASSERT_TRUE(m_unit.Start());
    setenv("KX_EXTRA_COM_PORTS", m_unit.PortName().c_str(), 1);
    WriteSettings("[Settings]\nCOM PORT=" + m_unit.PortName() + "\n");
    CModalAnswerer answerer; // nothing to acknowledge: the cable only went away for a while
    StartDialog();
    ASSERT_TRUE(WaitForIdentified());
    // The kernel reports the port gone, then back.
    Page().Ports().OnPortPlugged(m_unit.PortName(), false);
    EXPECT_EQ(m_dlg->Engine().Phase(), EnginePhase::Idle);
    EXPECT_FALSE((m_dlg->Engine().IsLinkOpen() && !m_dlg->Engine().IsUsbLink()));
    EXPECT_EQ(ListLines().back(), "The Tetherix was unplugged; it is used again as soon as it is back.");
    Page().Ports().OnPortPlugged(m_unit.PortName(), true);
    ASSERT_TRUE(WaitForIdentified());
    EXPECT_EQ(ListLines(), IDENTIFIED_LINES);
    EXPECT_EQ(answerer.AnsweredCount(), 0);
}

} // namespace
