// The cable echo test over the USB cable and over a COM port.
#include "UsbFixture.h"

#include "res/StringTable.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

const std::string PASSED = "Echo test passed.\n\nPress OK";

// A serial line whose two pins are linked: a pseudo-terminal whose master end writes back
// everything it reads, served from the test's own event loop.
class CLinkedPinsPort {
public:
    CLinkedPinsPort()
    {
        m_fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        grantpt(m_fd);
        unlockpt(m_fd);
        m_strName = std::string(ptsname(m_fd)).substr(5);
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
            char buffer[256];
            const ssize_t n = read(m_fd, buffer, sizeof buffer);
            if (n > 0)
                (void)!write(m_fd, buffer, static_cast<size_t>(n));
        });
    }
    ~CLinkedPinsPort()
    {
        if (!m_strLinkDir.empty()) {
            std::remove(m_strName.c_str());
            rmdir(m_strLinkDir.c_str());
        }
        m_notifier.reset();
        close(m_fd);
    }
    // The port is named by a link of its own, which goes with it: tests side by side may be
    // given its terminal's number once it has gone.
    void UseOwnName()
    {
        char pattern[] = "/tmp/kx-echo-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return;
        m_strLinkDir = pattern;
        const std::string link = m_strLinkDir + "/port";
        if (symlink(("/dev/" + m_strName).c_str(), link.c_str()) == 0)
            m_strName = link;
    }
    const std::string& Name() const { return m_strName; }

private:
    int m_fd = -1;
    std::string m_strName;
    std::string m_strLinkDir;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

class EchoTestRun : public UsbFixture {
protected:
    // Runs the echo test from the window menu; returns the outcome notice's text.
    std::string RunEchoTest()
    {
        CModalAnswerer answerer;
        answerer.Press("Continue").Press("OK");
        Page().Command(QStringLiteral("Echo Test"));
        EXPECT_TRUE(m_dlg->Engine().IsEchoTestRunning());
        // The test starts once the link has been reset.
        EXPECT_TRUE(WaitUntil(
            [&] { return ListLines().back() == "Testing Tetherix cable, please wait..."; }, 3000));
        EXPECT_TRUE(answerer.WaitForAnswered(2, 10000));
        if (answerer.Seen().size() < 2)
            return {};
        return answerer.Seen()[1].strText.toStdString();
    }
    void ExpectConnectingAgain()
    {
        EXPECT_TRUE(WaitUntil([&] { return m_dlg->Engine().Phase() == EnginePhase::Connecting; }, 3000));
        EXPECT_FALSE(m_dlg->Engine().IsEchoTestRunning());
        EXPECT_EQ(m_dlg->Engine().Phase(), EnginePhase::Connecting);
        const auto lines = ListLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].rfind("Trying to connect", 0), 0u);
    }
};

TEST_F(EchoTestRun, PassesOverUsbWithThePinsLinked)
{
    m_cable->SetMode("loop");
    WriteSettings("[Settings]\nCOM PORT=USB\n");
    StartDialog();
    EXPECT_EQ(RunEchoTest(), PASSED);
    ExpectConnectingAgain();
    EXPECT_TRUE(m_dlg->Engine().IsUsbLink());
}

TEST_F(EchoTestRun, PassesOverAComPort)
{
    CLinkedPinsPort port;
    StartDialog();
    ChoosePortFromList(port.Name());
    EXPECT_EQ(RunEchoTest(), PASSED);
    ExpectConnectingAgain();

}

// The outcome stays in front while the unit, woken again behind it, is identified and the
// window's focus would move to Open Local File: the Enter that closes the outcome presses its
// OK and nothing behind it; the focus moves once it has gone.
TEST_F(EchoTestRun, EnterThatClosesTheOutcomePressesNothingBehindIt)
{
    WriteSettings("[Settings]\nCOM PORT=USB\n");
    StartDialog();
    {
        CModalAnswerer answerer;
        answerer.Press("Continue");
        Page().Command(QStringLiteral("Echo Test"));
        ASSERT_EQ(answerer.AnsweredCount(), 1);
    }
    // The notice runs its own loop: the key is typed from a timer, as the answerer answers.
    bool bPressed = false;
    bool bMovedBehind = false; // the window's focus went to Open Local File behind the notice
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        QWidget* pNotice = QApplication::activeModalWidget();
        if (bPressed || pNotice == nullptr || m_dlg->Engine().Phase() != EnginePhase::Identified)
            return;
        bPressed = true;
        bMovedBehind = m_dlg->focusWidget() == Page().OpenFile();
        QWidget* pFocus = QApplication::focusWidget();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(pFocus != nullptr ? pFocus : pNotice, &press);
        // Whatever the key opened is closed again, so that the test ends.
        QTimer::singleShot(500, [] {
            if (QWidget* pOpen = QApplication::activeModalWidget())
                QMetaObject::invokeMethod(pOpen, "reject", Qt::QueuedConnection);
        });
    });
    typist.start(20);
    ASSERT_TRUE(WaitUntil([&] { return bPressed; }, 10000));
    int nOpened = 0;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget() != nullptr)
            ++nOpened;
    });
    watcher.start(50);
    WaitUntil([] { return false; }, 1000);
    EXPECT_FALSE(bMovedBehind);
    EXPECT_EQ(nOpened, 0) << "Enter reached a control behind the notice";
    EXPECT_TRUE(WaitUntil([&] { return m_dlg->focusWidget() == Page().OpenFile(); }, 2000));
}

TEST_F(EchoTestRun, CannotFindThePortEndsTheTest)
{
    CLinkedPinsPort* port = new CLinkedPinsPort;
    port->UseOwnName();
    StartDialog();
    ChoosePortFromList(port->Name());
    CModalAnswerer answerer;
    answerer.Press("Continue", [&](QWidget*) {
        delete port; // the cable is pulled while the picture is shown
        port = nullptr;
    }).PressOnAnyOther("OK");
    Page().Command(QStringLiteral("Echo Test"));
    ASSERT_TRUE(WaitUntil([&] { return !m_dlg->Engine().IsEchoTestRunning(); }, 10000));
    ASSERT_TRUE(WaitUntil([&] { return answerer.AnsweredCount() >= 3; }, 5000));
    std::vector<std::string> texts;
    for (const auto& seen : answerer.Seen())
        texts.push_back(seen.strText.toStdString());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Cannot find Tetherix port"), texts.end());
    // The window still shows it is connecting, as before the test: Exit closes at once.
    EXPECT_EQ(m_dlg->Engine().Phase(), EnginePhase::Connecting);
}

} // namespace
