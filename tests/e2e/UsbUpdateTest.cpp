// Whole updates over the Tetherix USB cable, through the real dialog and the simulated D2XX
// library.
#include "UsbFixture.h"

#include "res/StringTable.h"

namespace {

using UsbUpdate = UsbFixture;

TEST_F(UsbUpdate, SavedUsbOpensQuietlyAtStartUpAndIdentifiesTheUnit)
{
    WriteSettings("[Settings]\nCOM PORT=USB\n");
    CModalAnswerer answerer; // no notice may appear
    StartDialog();
    EXPECT_EQ(answerer.AnsweredCount(), 0);
    EXPECT_TRUE(m_dlg->m_bUsbActive);
    EXPECT_TRUE(m_dlg->IsTimerRunning(TIMER_WAKE));
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
    ASSERT_TRUE(m_dlg->m_btnSend->isEnabled());
    m_dlg->m_btnSend->click();
    ASSERT_TRUE(WaitUntil([&] { return ListContains("Programming successful. "); }, 30000));
    EXPECT_EQ(m_dlg->m_progress->value(), 15);
    ASSERT_TRUE(WaitUntil([&] {
        return m_dlg->m_nPhase == PHASE_CONNECTING && ListLines().size() == 1;
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
    m_dlg->m_btnDetect->click();
    ASSERT_EQ(answerer.AnsweredCount(), 3);
    EXPECT_EQ(answerer.Seen()[2].strText.toStdString(),
              "Found Tetherix Cable on USB. " + LoadString(IDS_PLUG_INTO_DEVICE));
    EXPECT_EQ(PortEntries(), std::vector<std::string>{"USB"});
    EXPECT_NE(ReadSettings().find("COM PORT=USB"), std::string::npos);
    EXPECT_TRUE(m_dlg->m_bUsbActive);
    ASSERT_TRUE(WaitForIdentified());
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
    EXPECT_EQ(m_dlg->m_strPortName, "");
    EXPECT_FALSE(m_dlg->m_bUsbActive);

    CModalAnswerer answerer;
    answerer.Press("OK");
    ChoosePortFromListExpectingNoLink("USB");
    ASSERT_EQ(answerer.AnsweredCount(), 1);
    EXPECT_EQ(answerer.Seen()[0].strText.toStdString(), "Unable to find USB Tetherix");
    EXPECT_FALSE(m_dlg->m_bUsbActive);
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
    m_dlg->m_btnSend->click();
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->m_progress->value() >= 3; }, 15000));
    m_cable->Unplug();
    ASSERT_TRUE(answerer.WaitForAnswered(1, 20000));
    EXPECT_EQ(answerer.Seen()[0].strText.toStdString(),
              "An error occured whilst updating the kx410.  \nCycle the power to the kx410 "
              "and try again. \n\nPress OK");
    // Still responsive: the port list can be opened and the program closed.
    ASSERT_TRUE(WaitUntil([&] { return !m_dlg->IsTimerRunning(TIMER_PROGRAM_REPLY); }, 3000));
    m_dlg->m_comboPort->setEnabled(true);
    m_dlg->m_comboPort->showPopup();
    m_dlg->m_comboPort->hidePopup();
    EXPECT_FALSE(m_dlg->m_bUsbActive);
}

} // namespace
