// Firmware from the web service through the real dialog: the simulated service runs in the
// test, the unit sits behind the simulated USB cable.
#include "UsbFixture.h"

#include "FirmwareWebService.h"
#include "app/Announcer.h"
#include "app/ServiceDlg.h"

#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QTimer>

namespace {

const std::string NOT_SUITABLE = "The selected firmware is not suitable for your kx410";

class WebUpdate : public UsbFixture {
protected:
    void StartService(WebServiceAnswer answer, int nSlowMs = 0)
    {
        // The service is on the loopback address: never ask a proxy for it.
        setenv("no_proxy", "127.0.0.1", 1);
        WebServiceOptions options;
        options.strImage = DefaultServiceImage();
        options.answer = answer;
        options.nSlowMs = nSlowMs;
        m_service = std::make_unique<CFirmwareWebService>(options);
        ASSERT_TRUE(m_service->Start(0));
    }
    void StartIdentified()
    {
        WriteSettings("[Settings]\nCOM PORT=USB\n");
        StartDialog();
        if (m_service)
            m_dlg->SetWebBaseUrl("http://127.0.0.1:" + std::to_string(m_service->Port()));
        ASSERT_TRUE(WaitForIdentified());
    }
    // Presses Get from Web and waits until the request, which runs off the window's thread,
    // has been answered and handled.
    void GetFromWeb()
    {
        Page().GetFromWeb()->click();
        ASSERT_TRUE(WaitUntil([&] { return !m_dlg->Engine().IsWebRequestRunning(); }, 30000));
    }
    void TearDown() override
    {
        UsbFixture::TearDown();
        if (m_service)
            m_service->Stop();
    }

    std::unique_ptr<CFirmwareWebService> m_service;
};

TEST_F(WebUpdate, WebImageIsValidatedSentAndReportedExactlyOnce)
{
    StartService(WebServiceAnswer::Image);
    StartIdentified();
    const int linesBefore = Page().List()->count();
    CModalAnswerer answerer; // no message box may appear
    GetFromWeb();
    EXPECT_EQ(answerer.AnsweredCount(), 0);

    const auto lines = ListLines();
    // One line for the whole request, replaced in place, then what validation logged.
    ASSERT_GT(lines.size(), static_cast<size_t>(linesBefore) + 1);
    const std::string status = lines[static_cast<size_t>(linesBefore)];
    EXPECT_EQ(status, "Downloading lastest update " + std::to_string(DefaultServiceImage().size()) + " bytes");
    EXPECT_EQ(lines[static_cast<size_t>(linesBefore) + 1],
              "The following firmware was found for your kx410: Ver 1.07");
    EXPECT_EQ(lines.back(), "Ready to update your kx410. Press send.");
    EXPECT_TRUE(m_dlg->Engine().Snapshot().image.bFromWeb);
    ASSERT_TRUE(Page().Send()->isEnabled());
    EXPECT_EQ(m_service->Requests().at(0), "/firmware/kx410fw.php?sn=12345&fw=0100&ldr=0208&done=0");
    // A web image is not announced to the unit with "B".
    EXPECT_EQ(m_cable->UnitReceived().find("B", m_cable->UnitReceived().rfind("16EAaa") + 6),
              std::string::npos);

    Page().Send()->click();
    ASSERT_TRUE(WaitUntil([&] { return ListContains("Programming successful. "); }, 30000));
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->Engine().Phase() == EnginePhase::Connecting; }, 5000));
    // The unit is identified again by the next wake-up; still no second report.
    ASSERT_TRUE(WaitForIdentified());
    EXPECT_EQ(m_service->Reports(), std::vector<std::string>{"sn=12345&fw=0107&ldr=0208&done=1"});
    EXPECT_FALSE(m_dlg->Engine().Snapshot().image.bFromWeb);
}

TEST_F(WebUpdate, LocalImageIsNeverReported)
{
    StartService(WebServiceAnswer::Image);
    StartIdentified();
    OpenLocalFile(WriteImageFile(6, nullptr));
    Page().Send()->click();
    ASSERT_TRUE(WaitUntil([&] { return ListContains("Programming successful. "); }, 30000));
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->Engine().Phase() == EnginePhase::Connecting; }, 5000));
    EXPECT_TRUE(m_service->Reports().empty());
    EXPECT_TRUE(m_service->Requests().empty());
}

TEST_F(WebUpdate, RefusedConnectionShowsTheErrorAndTheFirewallMessage)
{
    StartService(WebServiceAnswer::Image);
    const int port = m_service->Port();
    m_service->Stop();
    m_service.reset();
    StartIdentified();
    m_dlg->SetWebBaseUrl("http://127.0.0.1:" + std::to_string(port));
    const int linesBefore = Page().List()->count();
    CModalAnswerer answerer;
    answerer.Press("OK");
    GetFromWeb();
    ASSERT_EQ(answerer.AnsweredCount(), 1);
    const std::string text = answerer.Seen()[0].strText.toStdString();
    EXPECT_EQ(text.rfind("Cannot download firmware.  Check firewall\n\nReason: connection refused (", 0),
              0u) << text;
    EXPECT_NE(text.find(")\nAddress tried: http://127.0.0.1:" + std::to_string(port) +
                        "/firmware/kx410fw.php?sn=12345&fw=0100&ldr=0208&done=0"),
              std::string::npos) << text;
    ASSERT_EQ(Page().List()->count(), linesBefore + 1);
    EXPECT_EQ(ListLines().back().rfind("Error: ", 0), 0u) << ListLines().back();
    EXPECT_FALSE(Page().Send()->isEnabled());
    EXPECT_TRUE(Page().GetFromWeb()->isEnabled());
}

TEST_F(WebUpdate, NoServiceSaysHowToSetOneAndAsksNothing)
{
    StartIdentified();
    m_dlg->SetWebBaseUrl(""); // no service, whatever the build names
    CModalAnswerer answerer;
    answerer.Press("OK");
    const int linesBefore = Page().List()->count();
    Page().GetFromWeb()->click();
    ASSERT_TRUE(answerer.WaitForAnswered(1));
    EXPECT_EQ(answerer.Seen()[0].strText.toStdString(),
              "No firmware service is set: choose Firmware Service\u2026 in the window menu, set "
              "FIRMWARE SERVICE= in Kestova.ini, or pass --service.");
    EXPECT_FALSE(m_dlg->Engine().IsWebRequestRunning());
    EXPECT_EQ(Page().List()->count(), linesBefore);
    EXPECT_TRUE(Page().GetFromWeb()->isEnabled());
    EXPECT_EQ(m_dlg->Engine().Phase(), EnginePhase::Identified);
}

TEST_F(WebUpdate, FirmwareServiceIsCheckedTestedSavedAndUsed)
{
    StartService(WebServiceAnswer::Image);
    StartIdentified();
    m_dlg->SetWebBaseUrl(""); // no service, whatever the build names
    {
        CModalAnswerer answerer;
        answerer.Press("Cancel");
        Page().Command(QStringLiteral("Firmware Service\u2026"));
        ASSERT_EQ(answerer.AnsweredCount(), 1);
        EXPECT_EQ(answerer.Seen()[0].strTitle.toStdString(), "Firmware Service");
    }
    CServiceDlg dlg(m_dlg.get());
    dlg.show();
    dlg.SetAddress("ftp://127.0.0.1/");
    dlg.accept();
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.ResultText().rfind("Not an address the downloader can use: only http", 0), 0u);

    auto testAddress = [&](const std::string& address, const std::string& expectedStart) {
        dlg.SetAddress(address);
        dlg.OnTest();
        EXPECT_TRUE(WaitUntil([&] { return dlg.ResultText().rfind(expectedStart, 0) == 0; }, 30000))
            << address << ": " << dlg.ResultText();
    };
    const std::string service = "http://127.0.0.1:" + std::to_string(m_service->Port());
    testAddress("http://kx-no-such-host.invalid", "No answer: name not found");
    testAddress(service + "/", "The service answers");
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_EQ(dlg.Address(), service);

    Page().Menu().SetFirmwareService(dlg.Address());
    EXPECT_NE(ReadSettings().find("FIRMWARE SERVICE=" + service + "\n"), std::string::npos);
    CModalAnswerer answerer; // no message box may appear
    GetFromWeb();
    EXPECT_EQ(ListLines().back(), "Ready to update your kx410. Press send.");
}

TEST_F(WebUpdate, AnErrorStatusIsAFailedDownloadWithItsStatusAsTheReason)
{
    StartService(WebServiceAnswer::ErrorPage);
    StartIdentified();
    CModalAnswerer answerer;
    answerer.Press("OK");
    GetFromWeb();
    ASSERT_EQ(answerer.AnsweredCount(), 1);
    const std::string text = answerer.Seen()[0].strText.toStdString();
    EXPECT_EQ(text.rfind("Cannot download firmware.  Check firewall\n\nReason: the service answered "
                         "HTTP/1.1 500 Internal Server Error\nAddress tried: ", 0),
              0u) << text;
    EXPECT_FALSE(Page().Send()->isEnabled());
    EXPECT_FALSE(m_dlg->Engine().Snapshot().image.bFromWeb);
}

TEST_F(WebUpdate, JunkAndEmptyBodyAreRejectedByValidation)
{
    for (auto answer : {WebServiceAnswer::Junk, WebServiceAnswer::Empty}) {
        StartService(answer);
        StartIdentified();
        CModalAnswerer answerer; // the download itself succeeds: no message box
        GetFromWeb();
        EXPECT_EQ(answerer.AnsweredCount(), 0);
        EXPECT_EQ(ListLines().back(), NOT_SUITABLE);
        EXPECT_FALSE(Page().Send()->isEnabled());
        EXPECT_FALSE(m_dlg->Engine().Snapshot().image.bFromWeb);
        EXPECT_EQ(m_dlg->Engine().Phase(), EnginePhase::Identified);
        UsbFixture::TearDown();
        m_service->Stop();
        m_service.reset();
        UsbFixture::SetUp();
    }
}

TEST_F(WebUpdate, BodyCutMidWayIsAFailedDownload)
{
    StartService(WebServiceAnswer::CutMidBody);
    StartIdentified();
    {
        CModalAnswerer answerer;
        answerer.Press("OK");
        GetFromWeb();
        ASSERT_EQ(answerer.AnsweredCount(), 1);
        EXPECT_EQ(answerer.Seen()[0].strText.toStdString().rfind("Cannot download firmware.  Check firewall\n\nReason: transfer closed", 0), 0u)
            << answerer.Seen()[0].strText.toStdString();
    }
    EXPECT_EQ(ListLines().back().rfind("Error: ", 0), 0u) << ListLines().back();
    EXPECT_FALSE(Page().Send()->isEnabled());
    // The program goes on working: a local file can still be opened.
    OpenLocalFile(WriteImageFile(4, nullptr));
    EXPECT_TRUE(Page().Send()->isEnabled());
}

TEST_F(WebUpdate, AnImageAskedForOneUnitNeverGoesToAnother)
{
    // The service takes its time; meanwhile unit 1111 stops and unit 2222 is connected.
    StartService(WebServiceAnswer::Image, 4000);
    m_cable->SetSerialNumber(1111);
    StartIdentified();
    Page().GetFromWeb()->click();
    m_cable->SwapUnit(2222, 301);
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->Engine().Identity().m_strSerialNumber == "2222" &&
                                       m_dlg->Engine().Phase() == EnginePhase::Identified; }, 15000));
    EXPECT_TRUE(ListContains(
        "The image fetched for kx410 serial 1111 was not used: another unit is connected."));
    // A file opened for the new unit stays its image, whenever the old answer would have come.
    OpenLocalFile(WriteImageFile(4, nullptr));
    WaitUntil([] { return false; }, 5000);
    EXPECT_FALSE(m_dlg->Engine().Snapshot().image.bFromWeb);
    EXPECT_EQ(m_dlg->Engine().ImageLineCount(), 4);
    EXPECT_EQ(ListLines().back(), "Ready to update your kx410. Press send.");

    // Get from Web is enabled, so it asks anew, for this unit; its image goes to it and is
    // reported for it.
    ASSERT_TRUE(Page().GetFromWeb()->isEnabled());
    m_service->Stop();
    StartService(WebServiceAnswer::Image);
    m_dlg->SetWebBaseUrl("http://127.0.0.1:" + std::to_string(m_service->Port()));
    GetFromWeb();
    EXPECT_EQ(m_service->Requests(),
              std::vector<std::string>{"/firmware/kx410fw.php?sn=2222&fw=0100&ldr=0301&done=0"});
    ASSERT_TRUE(Page().Send()->isEnabled());
    Page().Send()->click();
    ASSERT_TRUE(WaitUntil([&] { return m_service->Reports().size() == 1; }, 30000));
    EXPECT_EQ(m_service->Reports(), std::vector<std::string>{"sn=2222&fw=0107&ldr=0301&done=1"});
}

// A whole update without the mouse: the port chosen by arrow key, Get from Web and Send pressed
// with Enter, the window menu opened with Shift+F10. How the update ended is said to a screen
// reader while the focus stays where it is.
TEST_F(WebUpdate, KeyboardAloneChoosesThePortFetchesSendsAndOpensTheWindowMenu)
{
    StartService(WebServiceAnswer::Image);
    StartDialog(); // no port saved: nothing is chosen yet
    m_dlg->SetWebBaseUrl("http://127.0.0.1:" + std::to_string(m_service->Port()));
    ASSERT_TRUE(ActivateWindow());
    PressKey(Qt::Key_Tab); // Detect
    PressKey(Qt::Key_Tab); // the port list
    ASSERT_EQ(QApplication::focusWidget(), Page().PortList());
    ASSERT_EQ(Page().PortList()->currentIndex(), -1);
    PressKey(Qt::Key_Down);
    ASSERT_TRUE(WaitForIdentified());
    EXPECT_EQ(QApplication::focusWidget(), Page().OpenFile());

    CModalAnswerer answerer; // no dialog may appear until the window menu's About
    PressKey(Qt::Key_Tab); // the status list
    PressKey(Qt::Key_Tab); // Send is not usable yet: Get from Web
    ASSERT_EQ(QApplication::focusWidget(), Page().GetFromWeb());
    PressKey(Qt::Key_Return);
    ASSERT_TRUE(WaitUntil([&] { return Page().Send()->isEnabled(); }, 30000));
    for (int i = 0; i < 8 && QApplication::focusWidget() != Page().Send(); ++i)
        PressKey(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), Page().Send());
    PressKey(Qt::Key_Enter, Qt::KeypadModifier);

    auto* announcer = m_dlg->findChild<CAnnouncer*>();
    ASSERT_NE(announcer, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return announcer->LastSentence().startsWith("Programming"); },
                          30000));
    EXPECT_EQ(announcer->LastSentence().toStdString(),
              "Programming successful. Please unplug the Tetherix and power off your kx410. "
              "Before you fly ensure that the controls operate correctly.");
    ASSERT_TRUE(WaitUntil([&] { return announcer->LastSentence().startsWith("Update"); }, 15000));
    EXPECT_EQ(announcer->LastSentence().toStdString(), "Update verified: kx410 now runs Ver 1.07");
    EXPECT_EQ(answerer.AnsweredCount(), 0);

    answerer.Press("OK");
    QTimer typist; // types About's letter into the window menu once it is open
    QObject::connect(&typist, &QTimer::timeout, [&] {
        if (qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr)
            PressKey(Qt::Key_A);
    });
    typist.start(10);
    PressKey(Qt::Key_F10, Qt::ShiftModifier);
    typist.stop();
    ASSERT_EQ(answerer.AnsweredCount(), 1);
    EXPECT_EQ(answerer.Seen()[0].strTitle.toStdString(), "About Bootloader");
}

} // namespace
