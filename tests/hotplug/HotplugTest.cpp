// Plugging and unplugging as a real desk does it: FTDI cables emulated with umockdev, read by the
// window through the real libudev and sysfs, with the unit answering on the emulated port.
#include "PtyUnit.h"
#include "UsbFixture.h"
#include "UsbTestbed.h"

#include "device/DeviceNotices.h"
#include "link/ComPortEnum.h"

#include <memory>
#include <string>
#include <vector>

namespace {

const char* const TEXT_UNPLUGGED =
    "The Tetherix was unplugged; it is used again as soon as it is back.";
// Longer than any timer of the conversation left running on a closed link would take to fire.
constexpr int STRAY_TIMER_MS = 3 * SILENCE_TIMEOUT_MS;

class Hotplug : public UsbFixture {
protected:
    void SetUp() override
    {
        if (!CUsbTestbed::IsEmulating())
            GTEST_SKIP() << "needs umockdev's preload library (run through ctest)";
        UsbFixture::SetUp();
        m_pBed = std::make_unique<CUsbTestbed>();
        SetComPortSysfsRoot("/sys"); // the test bed's, through the preload
    }

    void TearDown() override
    {
        m_pUnit.reset();
        UsbFixture::TearDown();
        m_pBed.reset();
    }

    // Plugs the cable in with a unit behind its port.
    void PlugWithUnit(const EmulatedCable& cable)
    {
        m_pBed->Plug(cable);
        m_pUnit = std::make_unique<CPtyUnit>(m_pBed->UnitSideFd(cable.tty));
    }

    void UnplugWithUnit(const EmulatedCable& cable)
    {
        m_pUnit.reset();
        m_pBed->Unplug(cable);
    }

    // Lets the window run for a while; whatever it does meanwhile, it does by itself.
    void RunFor(int ms)
    {
        WaitUntil([] { return false; }, ms);
    }

    void ChoosePort(const std::string& name)
    {
        Page().PortList()->showPopup();
        const int index = Page().PortList()->FindName(name);
        ASSERT_GE(index, 0) << name << " is not in the port list";
        Page().PortList()->setCurrentIndex(index);
        Page().PortList()->hidePopup();
    }

    bool LastLineIs(const std::string& text) const
    {
        const auto lines = ListLines();
        return !lines.empty() && lines.back() == text;
    }

    std::unique_ptr<CUsbTestbed> m_pBed;
    std::unique_ptr<CPtyUnit> m_pUnit;
};

TEST_F(Hotplug, CablePluggedBackUnderAnotherNumberIsUsedAgainAndFoundAfterARestart)
{
    EmulatedCable cable{"1-1", "Tetherix", "A10K3B2C", "ttyUSB0"};
    PlugWithUnit(cable);
    StartDialog();
    ChoosePort("ttyUSB0");
    ASSERT_TRUE(WaitForIdentified());
    EXPECT_NE(ReadSettings().find("COM PORT=" + CUsbTestbed::ByIdName(cable) + "\n"),
              std::string::npos);
    {
        CModalAnswerer answerer; // an unplug that the window follows needs no acknowledgement
        UnplugWithUnit(cable);
        ASSERT_TRUE(WaitUntil([&] { return LastLineIs(TEXT_UNPLUGGED); }));
        EXPECT_FALSE((m_dlg->Engine().IsLinkOpen() && !m_dlg->Engine().IsUsbLink()));
        m_pBed->AddTerminal("tty9"); // a new console is no port to offer
        RunFor(STRAY_TIMER_MS);
        cable.tty = "ttyUSB1";
        PlugWithUnit(cable);
        ASSERT_TRUE(WaitForIdentified());
        EXPECT_EQ(ListLines()[0], "Found Device: kx410");
        EXPECT_EQ(PortEntries(), (std::vector<std::string>{"ttyUSB1", "USB"}));
        EXPECT_EQ(answerer.AnsweredCount(), 0);
    }

    m_dlg.reset();
    UnplugWithUnit(cable);
    cable.tty = "ttyUSB2";
    PlugWithUnit(cable);
    StartDialog();
    ASSERT_TRUE(WaitForIdentified());
    EXPECT_EQ(Page().PortList()->SelectedText(), "ttyUSB2");
}

TEST_F(Hotplug, OnlyTheTetherixOwnUnplugEndsTheUsbLinkAndARunEndsWithItsOwnNoticeAlone)
{
    const EmulatedCable tetherix{"1-1", "Tetherix", "A10K3B2C", ""}; // D2XX holds it
    const EmulatedCable adapter{"1-2", "TTL-232R", "FT4Q7ZK1", "ttyUSB0"};
    m_pBed->Plug(tetherix);
    m_pBed->Plug(adapter);
    m_cable->SetPaced(true);
    WriteSettings("[Settings]\nCOM PORT=USB\n");
    {
        CModalAnswerer answerer;
        StartDialog();
        ASSERT_TRUE(WaitForIdentified());
        m_pBed->Unplug(adapter);
        RunFor(STRAY_TIMER_MS);
        EXPECT_TRUE(m_dlg->Engine().IsUsbLink());
        EXPECT_EQ(m_dlg->Engine().Phase(), EnginePhase::Identified);
    }

    OpenLocalFile(WriteImageFile(60, nullptr));
    CModalAnswerer answerer;
    answerer.Press("OK"); // the run's own failure notice, and nothing else
    Page().Send()->click();
    ASSERT_TRUE(WaitUntil([&] { return Page().Progress()->value() >= 3; }, 15000));
    m_cable->Unplug();
    m_pBed->Unplug(tetherix);
    ASSERT_TRUE(WaitUntil([&] { return LastLineIs(TEXT_UNPLUGGED); }, 20000));
    EXPECT_FALSE(m_dlg->Engine().IsUsbLink());
    RunFor(STRAY_TIMER_MS);
    ASSERT_EQ(answerer.AnsweredCount(), 1);
    EXPECT_EQ(answerer.Seen()[0].strText.toStdString(), UpdateFailedNotice("kx410"));

    m_cable->Plug();
    m_pBed->Plug(tetherix);
    ASSERT_TRUE(WaitForIdentified());
    EXPECT_EQ(ListLines()[0], "Found Device: kx410");
    EXPECT_EQ(answerer.AnsweredCount(), 1);
}

} // namespace
