// Whole updates over the Tetherix USB cable, through the real dialog and the simulated D2XX
// library.
#include "UsbFixture.h"

#include "link/CableDiagnosis.h"
#include "platform/SupportLog.h"
#include "res/StringTable.h"

namespace {

using UsbUpdate = UsbFixture;

TEST_F(UsbUpdate, SavedUsbOpensQuietlyAtStartUpAndIdentifiesTheUnit)
{
    WriteSettings("[Settings]\nCOM PORT=USB\n");
    CModalAnswerer answerer; // no notice may appear
    StartDialog();
    EXPECT_EQ(answerer.AnsweredCount(), 0);
    EXPECT_TRUE(m_dlg->Engine().IsUsbLink());
    EXPECT_TRUE((m_dlg->Engine().State() == EngineState::Waking));
    ASSERT_EQ(ListLines().size(), 1u);
    EXPECT_EQ(ListLines()[0], "Trying to connect. Check that the device is powered on  ");
    ASSERT_TRUE(WaitForIdentified());
    EXPECT_EQ(ListLines()[0], "Found Device: kx410");
}

TEST_F(UsbUpdate, WholeUpdateEndsAsOverAComPort)
{
    m_cable->SetPaced(true);
    WriteSettings("[Settings]\nCOM PORT=USB\n");
    StartDialog();
    ASSERT_TRUE(WaitForIdentified());
    std::vector<std::string> dataLines;
    OpenLocalFile(WriteImageFile(15, &dataLines));
    ASSERT_TRUE(Page().Send()->isEnabled());
    Page().Send()->click();
    ASSERT_TRUE(WaitUntil([&] { return ListContains("Programming successful. "); }, 30000));
    EXPECT_EQ(Page().Progress()->value(), 15);
    ASSERT_TRUE(WaitUntil([&] {
        return m_dlg->Engine().Phase() == EnginePhase::Connecting && ListLines().size() == 1;
    }, 5000));
    EXPECT_EQ(m_cable->UnitDataLineCount(), 15);
    EXPECT_TRUE(m_cable->UnitSentFinish());
    std::string expected;
    for (const auto& line : dataLines)
        expected += line + "aa";
    EXPECT_NE(m_cable->UnitReceived().find(expected), std::string::npos);
}

TEST_F(UsbUpdate, DetectWithTheCablePresentNamesUsb)
{
    AddFakePort("ttyS0", "pnp");
    StartDialog();
    CModalAnswerer answerer;
    answerer.Press("Continue").Press("Continue").Press("OK");
    Page().Detect()->click();
    ASSERT_EQ(answerer.AnsweredCount(), 3);
    EXPECT_EQ(answerer.Seen()[2].strText.toStdString(),
              "Found Tetherix Cable on USB. " + LoadString(IDS_PLUG_INTO_DEVICE));
    EXPECT_EQ(PortEntries(), std::vector<std::string>{"USB"});
    // The probe let the cable go a moment ago: it is opened (and the choice saved) once the
    // library allows, and the unit is woken as always.
    EXPECT_TRUE(m_dlg->Engine().IsUsbLink());
    ASSERT_TRUE(WaitForIdentified());
    EXPECT_NE(ReadSettings().find("COM PORT=USB"), std::string::npos);
}

TEST_F(UsbUpdate, MissingCableIsQuietAtStartUpAndLoudWhenChosen)
{
    m_cable->SetMode("absent");
    WriteSettings("[Settings]\nCOM PORT=USB\n");
    {
        CModalAnswerer answerer;
        StartDialog();
        EXPECT_EQ(answerer.AnsweredCount(), 0);
    }
    EXPECT_TRUE(PortEntries().empty());
    EXPECT_EQ(Page().PortName(), "");
    EXPECT_FALSE(m_dlg->Engine().IsUsbLink());

    CModalAnswerer answerer;
    answerer.Press("OK");
    ChoosePortFromListExpectingNoLink("USB");
    ASSERT_TRUE(answerer.WaitForAnswered(1));
    EXPECT_EQ(answerer.Seen()[0].strText.toStdString(),
              "Unable to find USB Tetherix\n\n" + ExplainD2xxOpenFailure());
    EXPECT_EQ(ListLines().back(), ExplainD2xxOpenFailure());
    EXPECT_FALSE(m_dlg->Engine().IsUsbLink());
    EXPECT_NE(ReadSettings().find("COM PORT=USB"), std::string::npos); // only read, never lost
}

TEST_F(UsbUpdate, CablePulledMidUpdateEndsWithTheFailureNoticeAndNoHang)
{
    m_cable->SetPaced(true);
    WriteSettings("[Settings]\nCOM PORT=USB\n");
    StartDialog();
    ASSERT_TRUE(WaitForIdentified());
    OpenLocalFile(WriteImageFile(60, nullptr));
    CModalAnswerer answerer;
    answerer.PressOnAnyOther("OK");
    Page().Send()->click();
    ASSERT_TRUE(WaitUntil([&] { return Page().Progress()->value() >= 3; }, 15000));
    m_cable->Unplug();
    ASSERT_TRUE(answerer.WaitForAnswered(1, 20000));
    EXPECT_EQ(answerer.Seen()[0].strText.toStdString(),
              "An error occured whilst updating the kx410.  \nCycle the power to the kx410 "
              "and try again. \n\nPress OK");
    // Still responsive: the port list can be opened and the program closed.
    ASSERT_TRUE(WaitUntil([&] { return !(m_dlg->Engine().State() == EngineState::Programming); }, 3000));
    Page().PortList()->setEnabled(true);
    Page().PortList()->showPopup();
    Page().PortList()->hidePopup();
    EXPECT_FALSE(m_dlg->Engine().IsUsbLink());
}

TEST_F(UsbUpdate, UnitIsCheckedForTheSentVersionAfterItRestarts)
{
    struct Case {
        int nAppAfter;            // the version the unit runs after the update (107: 1.07)
        std::string strLastLine;  // the verdict: the status list's last line once identified again
        std::string strNotice;    // the notice shown, if any
    };
    const Case cases[] = {
        {107, "Update verified: kx410 now runs Ver 1.07", ""},
        {100, "The kx410 still reports Ver 1.00 after the update. Cycle the power to the kx410 and try again.",
         "The kx410 still reports Ver 1.00 after the update. Cycle the power to the kx410 and try again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nAppAfter);
        m_cable->ConfigureAfterUpdate(c.nAppAfter, false);
        WriteSettings("[Settings]\nCOM PORT=USB\n");
        StartDialog();
        ASSERT_TRUE(WaitForIdentified());
        OpenLocalFile(WriteImageFile(5, nullptr));
        auto answerer = std::make_unique<CModalAnswerer>();
        answerer->PressOnAnyOther("OK");
        Page().Send()->click();
        ASSERT_TRUE(WaitUntil([&] { return ListContains("Programming successful. "); }, 20000));
        ASSERT_TRUE(WaitUntil([&] { return m_dlg->Engine().Phase() == EnginePhase::Connecting; }, 5000));
        ASSERT_TRUE(WaitForIdentified());
        ASSERT_TRUE(WaitUntil([&] { return ListLines().back() == c.strLastLine; }, 2000))
            << ListLines().back();
        EXPECT_EQ(ListLines()[0], "Found Device: kx410");
        if (c.strNotice.empty()) {
            EXPECT_EQ(answerer->AnsweredCount(), 0);
        } else {
            ASSERT_TRUE(answerer->WaitForAnswered(1, 2000));
            EXPECT_EQ(answerer->Seen()[0].strText.toStdString(), c.strNotice);
        }
        answerer.reset();
        StopDialog();
        m_cable->Reset();
    }
}

TEST_F(UsbUpdate, UnitThatNeverAnswersAfterTheLastLineIsLetGo)
{
    // The unit stops right after acknowledging the last line, as if its cable were pulled.
    m_cable->ConfigureAfterUpdate(107, true);
    WriteSettings("[Settings]\nCOM PORT=USB\n");
    StartDialog();
    ASSERT_TRUE(WaitForIdentified());
    OpenLocalFile(WriteImageFile(4, nullptr));
    Page().Send()->click();
    ASSERT_TRUE(WaitUntil([&] { return ListContains("Programming successful. "); }, 20000));
    // Back to connecting, with the port list usable again, without anything from the unit.
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->Engine().Phase() == EnginePhase::Connecting; }, 5000));
    EXPECT_TRUE(Page().PortList()->isEnabled());
    EXPECT_TRUE((m_dlg->Engine().State() == EngineState::Waking));
    EXPECT_EQ(ListLines().size(), 1u);
}

TEST_F(UsbUpdate, CableReplugDuringWakeUpIsWokenAgainAndIdentified)
{
    WriteSettings("[Settings]\nCOM PORT=USB\n");
    CModalAnswerer answerer; // no notice: the cable is back before the next wake-up
    StartDialog();
    ASSERT_EQ(m_dlg->Engine().Phase(), EnginePhase::Connecting);
    m_cable->Unplug();
    m_cable->Plug();
    ASSERT_TRUE(WaitForIdentified());
    EXPECT_EQ(ListLines()[0], "Found Device: kx410");
    EXPECT_EQ(answerer.AnsweredCount(), 0);
}

TEST_F(UsbUpdate, FailedUpdateLeavesTheBytesExchangedInTheSupportLog)
{
    m_cable->ConfigureUnit(3, 0, false); // the unit reports the third line corrupt
    WriteSettings("[Settings]\nCOM PORT=USB\n");
    StartDialog();
    CSupportLog log(m_dir + "/state/downloader.log");
    m_dlg->SetSupportLog(&log);
    ASSERT_TRUE(WaitForIdentified());
    std::vector<std::string> dataLines;
    OpenLocalFile(WriteImageFile(6, &dataLines));
    CModalAnswerer answerer;
    answerer.PressOnAnyOther("OK");
    Page().Send()->click();
    ASSERT_TRUE(answerer.WaitForAnswered(1, 20000));
    // The reset after the notice opens the cable again once its pause is over.
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->Engine().Phase() == EnginePhase::Connecting; }, 5000));

    const std::string session = log.SessionText();
    // Each line is one entry with what the unit sent after it.
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(session.find(" line USB: " + dataLines[i] + " \""), std::string::npos) << i << session;
    EXPECT_NE(session.find(" line USB: " + dataLines[2] + " \"/\"\n"), std::string::npos) << session;
    EXPECT_EQ(session.find(dataLines[3]), std::string::npos);
    EXPECT_NE(session.find(" link USB: latency timer set to 2 ms\n"), std::string::npos);
    EXPECT_NE(session.find(" notice " + answerer.Seen()[0].strText.toStdString().substr(0, 20)), std::string::npos);
    EXPECT_NE(session.find(" open USB: "), std::string::npos);
    m_dlg->SetSupportLog(nullptr); // the log goes before the window
}

} // namespace
