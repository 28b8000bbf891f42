// The main dialog at start-up, on exit, and its status list, driven through the real window.
#include "DialogFixture.h"

#include "app/Announcer.h"
#include "app/StatusWrap.h"
#include "device/FirmwareImage.h"
#include "device/NotesBreaker.h"

#include "link/PortUsers.h"
#include "link/UsbCableLink.h"
#include "platform/SupportLog.h"
#include "res/StringTable.h"

#include <QAccessible>
#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <functional>
#include <filesystem>
#include <map>
#include <fstream>
#include <random>
#include <sstream>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string TRYING = "Trying to connect. Check that the device is powered on";
const std::string CHOOSE_PORT = "Choose the Tetherix in the port list, or press Detect Tetherix.";

// Counts the key events that reach the object it watches.
class CKeyCounter : public QObject {
public:
    int m_nKeys = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease)
            ++m_nKeys;
        return false;
    }
};

using StartUp = DialogFixture;

TEST_F(StartUp, FirstRunWritesDefaultsBesideTheProgramAndExitsWithoutAsking)
{
    StartDialog();
    EXPECT_EQ(ReadSettings(), "[Settings]\nLAST DIRECTORY=" + m_dir + "\nCOM PORT=\n");
    EXPECT_EQ(Page().LastDirectory(), m_dir);
    EXPECT_EQ(Page().PortName(), "");
    EXPECT_EQ(m_dlg->Engine().Phase(), EnginePhase::Connecting);
    EXPECT_EQ(PortEntries(), std::vector<std::string>{"USB"});
    EXPECT_EQ(Page().PortList()->currentIndex(), -1);
    EXPECT_EQ(ListLines(), std::vector<std::string>{CHOOSE_PORT});

    CModalAnswerer answerer; // no dialog may appear
    m_dlg->OnCancel();
    EXPECT_EQ(answerer.AnsweredCount(), 0);
    EXPECT_FALSE(m_dlg->isVisible());
}

// Enlarged, the list and the progress bar take the room; every row of controls keeps its order
// without overlaps; back at the default size every control is where it started.
TEST_F(StartUp, ALargerWindowGivesItsRoomToTheStatusListAndTheProgressBar)
{
    StartDialog();
    const QSize defaultSize = m_dlg->size();
    EXPECT_EQ(m_dlg->minimumSize(), defaultSize);
    QWidget* exitButton = m_dlg->findChild<QWidget*>(QString::number(IDCANCEL));
    ASSERT_NE(exitButton, nullptr);
    const std::vector<std::vector<QWidget*>> rows = {
        {Page().Detect(), Page().OpenFile(), Page().Send(), exitButton},
        {Page().PortList(), Page().GetFromWeb(), Page().Progress()}};
    std::map<QWidget*, QRect> atDefault;
    for (const auto& row : rows)
        for (QWidget* control : row)
            atDefault[control] = control->geometry();
    atDefault[Page().List()] = Page().List()->geometry();

    for (const QSize more : {QSize(300, 200), QSize(700, 10), QSize(1, 1), QSize(0, 0)}) {
        m_dlg->resize(defaultSize + more);
        ASSERT_TRUE(WaitUntil([&] { return m_dlg->size() == defaultSize + more; }));
        const QRect list = atDefault[Page().List()];
        EXPECT_EQ(Page().List()->geometry(), QRect(list.topLeft(), list.size() + more));
        const QRect bar = atDefault[Page().Progress()];
        EXPECT_EQ(Page().Progress()->geometry(),
                  QRect(bar.topLeft() + QPoint(0, more.height()), bar.size() + QSize(more.width(), 0)));
        EXPECT_EQ(exitButton->geometry(), atDefault[exitButton].translated(more.width(), more.height()));
        EXPECT_EQ(Page().Detect()->geometry(), atDefault[Page().Detect()].translated(0, more.height()));
        for (const auto& row : rows)
            for (size_t i = 1; i < row.size(); ++i)
                EXPECT_LT(row[i - 1]->geometry().right(), row[i]->geometry().left()) << more.width() << " " << i;
    }
    for (const auto& [control, rect] : atDefault)
        EXPECT_EQ(control->geometry(), rect) << control->objectName().toStdString();
    // Every button's text clears its edges at the default size.
    for (const QPushButton* pButton : m_dlg->findChildren<QPushButton*>())
        EXPECT_LE(pButton->fontMetrics().horizontalAdvance(pButton->text()) +
                      2 * pButton->style()->pixelMetric(QStyle::PM_ButtonMargin),
                  pButton->width())
            << pButton->text().toStdString();
}

TEST_F(StartUp, ControlsStartInTheirInitialStates)
{
    StartDialog();
    EXPECT_EQ(m_dlg->windowTitle().toStdString(), "Kestova Firmware Downloader");
    EXPECT_TRUE(Page().Detect()->isEnabled());
    EXPECT_TRUE(Page().PortList()->isEnabled());
    EXPECT_FALSE(Page().OpenFile()->isEnabled());
    EXPECT_FALSE(Page().GetFromWeb()->isEnabled());
    EXPECT_FALSE(Page().Send()->isEnabled());
    EXPECT_EQ(Page().Progress()->value(), 0);
    EXPECT_EQ(Page().Detect()->text().toStdString(), "Detect Tetherix");
    EXPECT_EQ(Page().OpenFile()->text().toStdString(), "Open Local File");
    EXPECT_EQ(Page().GetFromWeb()->text().toStdString(), "Get from Web");
    EXPECT_EQ(Page().Send()->text().toStdString(), "Send");
    EXPECT_FALSE(Page().Send()->isDefault());
}

// A saved serial port that is not there (a miscased or absent name, a cable's lasting name
// while it is unplugged) selects nothing, is only read, and is said with what to do.
TEST_F(StartUp, SavedPortThatIsNotThereIsSaidAndOnlyRead)
{
    AddFakePort("ttyUSB0");
    for (const std::string saved :
         {"TTYUSB0", "ttyUSB9", "/dev/serial/by-id/usb-FTDI_TTL-232R_A10K3B2C-if00-port0"}) {
        SCOPED_TRACE(saved);
        const std::string settings = "[Settings]\nCOM PORT=" + saved + "\nLAST DIRECTORY=/somewhere\n";
        WriteSettings(settings);
        StartDialog();
        EXPECT_EQ(PortEntries(), (std::vector<std::string>{"ttyUSB0", "USB"}));
        EXPECT_EQ(Page().PortList()->currentIndex(), -1);
        EXPECT_EQ(Page().PortName(), "");
        EXPECT_EQ(Page().LastDirectory(), "/somewhere");
        EXPECT_FALSE((m_dlg->Engine().State() == EngineState::Waking));
        EXPECT_EQ(ListLines(), (std::vector<std::string>{
                                   "The port saved last time, " + saved +
                                   ", is not there. Plug the Tetherix in and press Detect Tetherix, "
                                   "or choose a port in the list."}));
        EXPECT_EQ(ReadSettings(), settings);
        m_dlg.reset();
    }
}

TEST_F(StartUp, EmptySavedPortIsNotAFirstRun)
{
    WriteSettings("[Settings]\nCOM PORT=\n");
    StartDialog();
    EXPECT_EQ(ReadSettings(), "[Settings]\nCOM PORT=\n");
    EXPECT_EQ(Page().LastDirectory(), "");
}

TEST_F(StartUp, FileBesideTheProgramWinsOverTheUserFile)
{
    std::filesystem::create_directories(m_dir + "/config/Kestova");
    std::ofstream(m_dir + "/config/Kestova/Kestova.ini") << "[Settings]\nCOM PORT=\nLAST DIRECTORY=/user\n";
    WriteSettings("[Settings]\nCOM PORT=\nLAST DIRECTORY=/beside\n");
    StartDialog();
    EXPECT_EQ(Page().LastDirectory(), "/beside");
    EXPECT_STREQ(Page().SettingsPath(), (m_dir + "/Kestova.ini").c_str());
}

// Without FTDI's library the cable that stayed plugged in is still found, as its serial port.
TEST_F(StartUp, DetectWithoutTheD2xxLibraryPicksTheTetherixOnItsSerialPort)
{
    AddFakePort("ttyS0", "pnp");
    AddFakePort("ttyUSB0");
    std::ofstream(m_dir + "/devices/ttyUSB0/idVendor") << "0403\n";
    std::ofstream(m_dir + "/devices/ttyUSB0/product") << "Tetherix\n";
    CUsbCableLink::SetDriverLibraryName("/nonexistent/libftd2xx.so");
    StartDialog();
    CModalAnswerer answerer;
    answerer.Press("Continue").Press("Continue").PressOnAnyOther("OK").AllowUnused();
    Page().Detect()->click();
    CUsbCableLink::SetDriverLibraryName("");
    ASSERT_GE(answerer.AnsweredCount(), 3);
    EXPECT_EQ(answerer.Seen()[2].strText.toStdString(),
              LoadString(IDS_FOUND_CABLE_ON) + " ttyUSB0. " + LoadString(IDS_PLUG_INTO_DEVICE));
}

TEST_F(StartUp, SavedPortThatCannotBeOpenedSaysWhyAndEmptiesThePortList)
{
    // A port held open by another program (without any lock), and a port whose node is gone.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    const pid_t holder = fork();
    if (holder == 0) {
        execlp("sh", "sh", "-c", ("exec 3<>" + slave + "; exec sleep 30").c_str(), nullptr);
        _exit(127);
    }
    ASSERT_GT(holder, 0);
    ASSERT_TRUE(WaitUntil([&] { return !FindPortUsers(slave).empty(); }, 5000));

    struct Case {
        std::string strPort;
        std::string strSentence;
    };
    const Case cases[] = {
        {"ttyKXMISSING0", "There is no port ttyKXMISSING0 on this computer; ports found: "},
        {slave.substr(5), slave + " is in use by sleep (pid " + std::to_string(holder) + ")"},
    };
    setenv("KX_EXTRA_COM_PORTS", cases[1].strPort.c_str(), 1);
    AddFakePort("ttyKXMISSING0"); // listed, but there is no such device node to open
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strPort);
        WriteSettings("[Settings]\nCOM PORT=" + c.strPort + "\n");
        CModalAnswerer answerer;
        answerer.Press("OK");
        StartDialog();
        ASSERT_TRUE(answerer.WaitForAnswered(1));
        const std::string notice = answerer.Seen()[0].strText.toStdString();
        // The reason is a paragraph of its own before "Press OK".
        const std::string unable = LoadString(IDS_UNABLE_TO_OPEN);
        const std::string head = unable.substr(0, unable.rfind("\n\nPress OK"));
        EXPECT_EQ(notice.rfind(head + "\n\n" + c.strSentence, 0), 0u) << notice;
        EXPECT_EQ(notice.substr(notice.size() - 11), ".\n\nPress OK") << notice;
        EXPECT_EQ(ListLines().back().rfind(c.strSentence, 0), 0u) << ListLines().back();
        EXPECT_TRUE(PortEntries().empty());
        EXPECT_EQ(Page().PortName(), "");
        EXPECT_NE(ReadSettings().find("COM PORT=" + c.strPort), std::string::npos);
        m_dlg.reset();
    }
    unsetenv("KX_EXTRA_COM_PORTS");
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(master);
}

TEST_F(StartUp, ExitAsksOutsideConnectingAndNoKeepsTheDialog)
{
    StartDialog();
    m_dlg->Engine().CloseLinkAndIdle();
    {
        CModalAnswerer answerer;
        answerer.Press("No");
        m_dlg->OnCancel();
        ASSERT_EQ(answerer.AnsweredCount(), 1);
        EXPECT_EQ(answerer.Seen()[0].strText.toStdString(), "Are you sure you want to exit?");
        EXPECT_EQ(answerer.Seen()[0].strTitle.toStdString(), "Kestova");
        EXPECT_TRUE(m_dlg->isVisible());
    }
    {
        // Enter takes the same confirmed way out.
        CModalAnswerer answerer;
        answerer.Press("No");
        static_cast<QDialog*>(m_dlg.get())->accept();
        EXPECT_EQ(answerer.AnsweredCount(), 1);
        EXPECT_TRUE(m_dlg->isVisible());
    }
    CModalAnswerer answerer;
    answerer.Press("Yes");
    m_dlg->OnCancel();
    EXPECT_EQ(answerer.AnsweredCount(), 1);
    EXPECT_FALSE(m_dlg->isVisible());
}

// The menu is named for a screen reader, and its first item is the program's own, not Close.
TEST_F(StartUp, WindowMenuIsNamedAndStartsWithTheProgramsItemsBeforeClose)
{
    StartDialog();
    auto* menu = m_dlg->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->accessibleName().toStdString(), "Window Menu");
    std::vector<std::string> items;
    for (const QAction* action : menu->actions())
        items.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    EXPECT_EQ(items, (std::vector<std::string>{"&About Bootloader", "Echo Test",
                                               "Save Support Log\u2026", "Firmware Service\u2026",
                                               "Update History\u2026", "Check This Computer\u2026",
                                               "Several Units\u2026", "-", "&Close"}));

    CModalAnswerer answerer;
    answerer.Press("OK");
    Page().Command(QStringLiteral("&About Bootloader"));
    ASSERT_EQ(answerer.AnsweredCount(), 1);
    EXPECT_EQ(answerer.Seen()[0].strTitle.toStdString(), "About Bootloader");

    // The check's report, as Copy puts it on the clipboard, names this window's settings file.
    QString report;
    answerer.Press("Close", [&](QWidget* pDialog) {
        pDialog->findChild<QPushButton*>(QStringLiteral("DoctorCopy"))->click();
        report = QGuiApplication::clipboard()->text();
    });
    Page().Command(QStringLiteral("Check This Computer\u2026"));
    ASSERT_EQ(answerer.AnsweredCount(), 2);
    EXPECT_EQ(answerer.Seen()[1].strTitle.toStdString(), "Check This Computer");
    EXPECT_TRUE(report.contains(QStringLiteral("cable.tetherix"))) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("settings.file"))) << report.toStdString();
}

// Alt+Space or Shift+F10 typed into whichever control has the focus opens the window menu with
// its first item selected, as a desktop's menus open (a screen reader hears nothing of a menu
// with none); the control never sees the key (a button would click, the list select, the port
// list drop down).
TEST_F(StartUp, MenuKeysOpenTheWindowMenuFromEveryControlAndReachNone)
{
    AddFakePort("ttyUSB0");
    StartDialog();
    for (QPushButton* button : {Page().OpenFile(), Page().GetFromWeb(), Page().Send()})
        button->setEnabled(true);
    m_dlg->LogLine("a line to select");
    auto* menu = m_dlg->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    int nMenus = 0;
    int nFirstSelected = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QApplication::activePopupWidget() == menu) {
            ++nMenus;
            nFirstSelected += menu->activeAction() == menu->actions().value(0) ? 1 : 0;
            menu->close();
        }
    });
    closer.start(10);

    const std::vector<QWidget*> controls = {
        m_dlg->findChild<QPushButton*>(QString::number(IDCANCEL)), Page().Detect(),
        Page().PortList(), Page().OpenFile(), Page().List(), Page().Send(),
        Page().GetFromWeb()};
    const std::vector<std::pair<Qt::Key, Qt::KeyboardModifier>> menuKeys = {
        {Qt::Key_Space, Qt::AltModifier}, {Qt::Key_F10, Qt::ShiftModifier}};
    CModalAnswerer answerer; // a click on any of these buttons would open a dialog
    for (const auto& [menuKey, modifier] : menuKeys) {
        for (QWidget* control : controls) {
            ASSERT_NE(control, nullptr);
            SCOPED_TRACE(control->objectName().toStdString() + " key " + std::to_string(menuKey));
            int nClicks = 0;
            if (auto* button = qobject_cast<QPushButton*>(control))
                QObject::connect(button, &QPushButton::clicked, menu, [&] { ++nClicks; });
            CKeyCounter keys;
            control->installEventFilter(&keys);
            control->setFocus();
            const int nMenusBefore = nMenus;
            const QString text = menuKey == Qt::Key_Space ? QStringLiteral(" ") : QString();
            for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                QKeyEvent key(type, menuKey, modifier, text);
                QApplication::sendEvent(control, &key);
            }
            control->removeEventFilter(&keys);
            if (auto* button = qobject_cast<QPushButton*>(control))
                QObject::disconnect(button, &QPushButton::clicked, menu, nullptr);
            EXPECT_EQ(nMenus, nMenusBefore + 1);
            EXPECT_EQ(keys.m_nKeys, 0);
            EXPECT_EQ(nClicks, 0);
            EXPECT_TRUE(m_dlg->isVisible());
        }
    }
    EXPECT_EQ(nFirstSelected, nMenus);
    EXPECT_EQ(m_dlg->findChild<CAnnouncer*>()->LastSentence().toStdString(), "Window Menu");
    EXPECT_EQ(Page().PortList()->count(), 2);
    EXPECT_EQ(Page().List()->currentRow(), -1);
    EXPECT_EQ(answerer.AnsweredCount(), 0);
}

// Contrast between two colours as the web's accessibility guidelines measure it.
double Luminance(QRgb rgb)
{
    auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) +
           0.0722 * channel(qBlue(rgb));
}

double Contrast(QRgb a, QRgb b)
{
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The pixels that changed by at least 3:1 between two looks of a control.
int StrongChanges(const QImage& before, const QImage& after)
{
    int count = 0;
    const QImage a = before.convertToFormat(QImage::Format_RGB32);
    const QImage b = after.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        for (int x = 0; x < std::min(a.width(), b.width()); ++x)
            count += Contrast(a.pixel(x, y), b.pixel(x, y)) >= 3.0 ? 1 : 0;
    return count;
}

using Keyboard = DialogFixture;

// Tab walks the controls in the template's order; from the first Tab on, each control it
// reaches shows a focus ring whose pixels stand at least 3:1 against what was there before,
// all the way round the control (for the status list: round its focused row).
TEST_F(Keyboard, TabWalksTheTemplateOrderAndEveryStopShowsAStrongRing)
{
    StartDialog();
    for (QPushButton* button : {Page().OpenFile(), Page().GetFromWeb(), Page().Send()})
        button->setEnabled(true);
    m_dlg->LogLine("a row");
    ASSERT_TRUE(ActivateWindow());
    QWidget* exitButton = m_dlg->findChild<QPushButton*>(QString::number(IDCANCEL));
    ASSERT_EQ(QApplication::focusWidget(), exitButton);
    const std::vector<QWidget*> order = {Page().Detect(), Page().PortList(),
                                         Page().OpenFile(), Page().List(),
                                         Page().Send(), Page().GetFromWeb(), exitButton};
    std::map<QWidget*, QImage> unfocused;
    for (QWidget* control : order)
        unfocused[control] = control->grab().toImage();
    for (QWidget* control : order) {
        PressKey(Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), control)
            << "expected " << control->objectName().toStdString();
        QCoreApplication::processEvents();
        QRect ringed = control->rect();
        if (control == Page().List()) {
            const QRect row = Page().List()->visualRect(Page().List()->currentIndex());
            ASSERT_TRUE(row.isValid());
            ringed = QRect(Page().List()->viewport()->mapTo(Page().List(), row.topLeft()),
                           row.size()).intersected(control->rect());
        }
        EXPECT_GE(StrongChanges(unfocused[control], control->grab().toImage()),
                  2 * (ringed.width() + ringed.height()))
            << control->objectName().toStdString();
    }
}

// Turning the wheel over the closed port list keeps the port and the link: only a choice made on
// purpose changes them.
TEST_F(StartUp, WheelOverTheClosedPortListChangesNothing)
{
    AddFakePort("ttyUSB0");
    AddFakePort("ttyUSB1");
    StartDialog();
    CPortCombo* combo = Page().PortList();
    ASSERT_GE(combo->SelectString("ttyUSB0"), 0);
    const std::string chosen = combo->SelectedText();
    const auto state = m_dlg->Engine().State();
    CModalAnswerer answerer; // no dialog may appear (a port opened here fails with a notice)
    for (const int delta : {-120, 120, -120, 240}) {
        QWheelEvent wheel(QPointF(5, 5), combo->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(combo, &wheel);
        QApplication::processEvents();
        EXPECT_EQ(combo->SelectedText(), chosen) << delta;
        EXPECT_EQ(m_dlg->Engine().State(), state) << delta;
    }
    EXPECT_EQ(answerer.AnsweredCount(), 0);
}

TEST_F(StartUp, EchoTestCancelledLeavesEverythingAsItWas)
{
    StartDialog();
    m_dlg->LogLine("before");
    CModalAnswerer answerer;
    answerer.Press("Cancel");
    Page().Command(QStringLiteral("Echo Test"));
    EXPECT_EQ(answerer.AnsweredCount(), 1);
    EXPECT_FALSE(m_dlg->Engine().IsEchoTestRunning());
    EXPECT_EQ(ListLines(), (std::vector<std::string>{CHOOSE_PORT, "before"}));
    EXPECT_FALSE((m_dlg->Engine().State() == EngineState::EchoStarting));
}

// A file name typed in full while the file dialog's suggestions show, and taken with Enter:
// the main window is active again afterwards with the focus where it was, so Tab goes on.
TEST_F(Keyboard, FocusComesBackAfterTheFileDialogClosesOverItsSuggestions)
{
    WriteSettings("[Settings]\nCOM PORT=\nLAST DIRECTORY=" + m_dir + "\n");
    std::ofstream(m_dir + "/unit.fwr") << "VER:0107\r\nPID:0410\r\n";
    StartDialog();
    Page().OpenFile()->setEnabled(true);
    ASSERT_TRUE(ActivateWindow());
    Page().OpenFile()->setFocus(Qt::TabFocusReason);
    bool bTyped = false;
    int nTicksTyped = 0;
    bool bSuggestionsShown = false;
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        auto* fileDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (fileDialog == nullptr || QApplication::focusWidget() == nullptr ||
            QApplication::focusWidget()->window() != fileDialog)
            return;
        if (!bTyped) {
            for (const char c : std::string("unit.fwr"))
                PressKey(c == '.' ? Qt::Key_Period : Qt::Key_A + (c - 'a'));
            bTyped = true;
            return;
        }
        bSuggestionsShown = bSuggestionsShown || QApplication::activePopupWidget() != nullptr;
        // The suggestions come from a folder read off the window's thread: given a moment.
        if (bSuggestionsShown || ++nTicksTyped > 100)
            PressKey(Qt::Key_Return);
    });
    typist.start(20);
    PressKey(Qt::Key_Space);
    typist.stop();
    EXPECT_TRUE(bSuggestionsShown);
    EXPECT_EQ(Page().FirmwarePath(), m_dir + "/unit.fwr");
    EXPECT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == m_dlg.get(); }, 2000));
    EXPECT_EQ(QApplication::focusWidget(), Page().OpenFile());
}

using StatusLog = DialogFixture;

// Random lines of words of any length, at any width: the rows fit and are the line again.
TEST_F(StatusLog, ALineWiderThanTheListIsWrappedWholeIntoRowsThatFit)
{
    StartDialog();
    const QFont font = Page().List()->font();
    const QFontMetrics metrics(font);
    std::mt19937 random(19);
    for (int n = 0; n < 300; ++n) {
        QString text;
        const int words = std::uniform_int_distribution<int>(1, 30)(random);
        for (int w = 0; w < words; ++w) {
            const int length = std::uniform_int_distribution<int>(1, w % 7 == 6 ? 150 : 12)(random);
            for (int c = 0; c < length; ++c)
                text += QChar(std::uniform_int_distribution<int>('!', '~')(random));
            text += QStringLiteral(" ");
        }
        const int width = std::uniform_int_distribution<int>(40, 700)(random);
        const QStringList rows = WrapStatusLine(text, font, width);
        EXPECT_EQ(rows.join(QString()), text) << n;
        for (const QString& row : rows)
            EXPECT_LE(metrics.horizontalAdvance(row.trimmed()), width) << n << " " << row.toStdString();
    }

    // Through the window: the rows fit the list and are read back as the one line.
    const std::string line = "The port ttyUSB0 cannot be opened: " + std::string(40, 'x') +
                             " is in use by another program; close it, or choose another port.";
    const int rowsBefore = Page().List()->count();
    m_dlg->LogLine(line);
    EXPECT_GT(Page().List()->count(), rowsBefore + 1);
    EXPECT_EQ(ListLines().back(), line);
    for (int row = rowsBefore; row < Page().List()->count(); ++row)
        EXPECT_LT(metrics.horizontalAdvance(Page().List()->item(row)->text().trimmed()),
                  Page().List()->viewport()->width());
}

// Release notes come from the engine in pieces of a set number of characters; at every width
// they are one line wrapped once at the list's width, and wrapped again when the width changes.
TEST_F(StatusLog, ReleaseNotesAreWrappedOnceAtTheListsWidthAndAgainOnResize)
{
    StartDialog();
    const std::string notes = std::string(NOTES_PREFIX) +
        "Smoother servo response at low throttle; the failsafe engages sooner after a lost "
        "signal; telemetry reports the pack voltage every second; trims are kept over a restart.";
    const QSize defaultSize = m_dlg->size();
    const auto notesRows = [&] {
        std::vector<QString> rows;
        bool bIn = false;
        for (int i = 0; i < Page().List()->count(); ++i) {
            const QString text = Page().List()->item(i)->text();
            bIn = bIn ? text.toStdString() != TEXT_READY_TO_UPDATE
                      : text.startsWith(QString::fromLatin1(NOTES_PREFIX));
            if (bIn)
                rows.push_back(text);
        }
        return rows;
    };
    const auto expectWrappedOnce = [&](int extra) {
        const QStringList wrapped = WrapStatusLine(QString::fromStdString(notes), Page().List()->font(),
                                                   Page().List()->contentsRect().width() -
                                                       Page().List()->style()->pixelMetric(QStyle::PM_ScrollBarExtent) - 8);
        EXPECT_EQ(notesRows(), std::vector<QString>(wrapped.begin(), wrapped.end())) << extra;
    };
    for (const int extra : {0, 90, 400, 900}) {
        m_dlg->resize(defaultSize + QSize(extra, 0));
        ASSERT_TRUE(WaitUntil([&] { return Page().List()->width() == m_dlg->width() - 2 * Page().List()->x(); }));
        m_dlg->OnStatusCleared();
        m_dlg->LogLine("The following firmware was found for your kx410: Ver 1.07");
        for (const std::string& piece : BreakNotes(notes))
            m_dlg->LogLine(piece);
        m_dlg->LogLine(TEXT_READY_TO_UPDATE);
        EXPECT_EQ(ListLines(), (std::vector<std::string>{
                                   "The following firmware was found for your kx410: Ver 1.07",
                                   notes, TEXT_READY_TO_UPDATE}));
        expectWrappedOnce(extra);
    }
    // The same lines, wrapped again at a new width.
    m_dlg->resize(defaultSize);
    ASSERT_TRUE(WaitUntil([&] { return notesRows().size() > 2; }));
    expectWrappedOnce(0);
}

TEST_F(StatusLog, ActivityLineCyclesThroughTenFormsAndStaysTheLastLine)
{
    StartDialog();
    Page().List()->clear(); // the start-up hint is not part of this test
    Page().RestartActivity();
    std::vector<std::string> seen;
    for (int i = 0; i < 11; ++i) {
        m_dlg->ShowActivity();
        const auto lines = ListLines();
        ASSERT_EQ(lines.size(), 1u);
        seen.push_back(lines.back());
    }
    EXPECT_EQ(seen[0], TRYING + "  ");
    for (int dots = 1; dots <= 9; ++dots)
        EXPECT_EQ(seen[static_cast<size_t>(dots)], TRYING + " " + std::string(static_cast<size_t>(dots), '.'));
    EXPECT_EQ(seen[10], TRYING + "  ");
}

TEST_F(StatusLog, OnlyTheActivityLineAndTheRequestsOwnRowAreEverReplaced)
{
    StartDialog();
    Page().List()->clear(); // the start-up hint is not part of this test
    const std::string activity = TRYING + "  ";
    Page().RestartActivity();
    m_dlg->ShowActivity();
    m_dlg->OnWebStatus("", true);
    m_dlg->LogLine("Press Open File or Get from Web");
    m_dlg->OnWebStatus("Connecting to 127.0.0.1", false);
    Page().RestartActivity();
    m_dlg->ShowActivity(); // takes its own row away, not the last line
    m_dlg->LogLine("Testing Tetherix cable, please wait...");
    m_dlg->OnWebStatus("Downloading lastest update 10 bytes", false);
    EXPECT_EQ(ListLines(), (std::vector<std::string>{"Downloading lastest update 10 bytes",
                                                     "Press Open File or Get from Web", activity,
                                                     "Testing Tetherix cable, please wait..."}));
    // After a clear neither row exists: nothing is removed, and the next text gets a row.
    Page().List()->clear();
    m_dlg->LogLine("kept");
    Page().RestartActivity();
    m_dlg->ShowActivity();
    m_dlg->OnWebStatus("Closed", false);
    EXPECT_EQ(ListLines(), (std::vector<std::string>{"kept", activity, "Closed"}));
}

// What assistive technology is told as the list changes: each row added, replaced or removed,
// and the row the keyboard moves to, by the row's number.
std::vector<std::pair<QAccessible::Event, int>> g_rowEvents;

void RecordRowEvent(QAccessibleEvent* event)
{
    int row = event->child();
    QAccessibleInterface* source = event->accessibleInterface();
    if (source != nullptr && source->tableCellInterface() != nullptr)
        row = source->tableCellInterface()->rowIndex();
    g_rowEvents.emplace_back(event->type(), row);
}

bool Told(QAccessible::Event type, int row)
{
    return std::find(g_rowEvents.begin(), g_rowEvents.end(), std::pair{type, row}) !=
           g_rowEvents.end();
}

TEST_F(StatusLog, RowsAreToldToAssistiveTechnologyByTheirNumber)
{
    StartDialog();
    // Only a display with a bridge to the accessibility bus turns accessibility on (the
    // accessibility suite runs this test so); the events are caught before they reach the bus.
    if (!WaitUntil([] { return QAccessible::isActive(); }, 3000))
        GTEST_SKIP() << "no bridge to an accessibility bus here";
    ASSERT_TRUE(ActivateWindow());
    m_dlg->OnStatusCleared(); // the rows below are counted from an empty list
    QAccessible::installUpdateHandler(RecordRowEvent);
    struct Step {
        std::function<void()> act;
        QAccessible::Event type;
        int row;
    };
    const std::vector<Step> steps = {
        {[&] { m_dlg->LogLine("first"); }, QAccessible::ObjectCreated, 0},
        {[&] { m_dlg->LogLine("second"); }, QAccessible::ObjectCreated, 1},
        {[&] { m_dlg->OnWebStatus("", true); }, QAccessible::ObjectCreated, 2},
        {[&] { m_dlg->OnWebStatus("Connecting", false); }, QAccessible::NameChanged, 2},
        {[&] { m_dlg->ShowActivity(); }, QAccessible::ObjectCreated, 3},
        {[&] { m_dlg->ShowActivity(); }, QAccessible::ObjectDestroyed, 3},
        {[&] { Page().List()->setFocus(Qt::TabFocusReason); }, QAccessible::Focus, 0},
        {[&] { PressKey(Qt::Key_Down); }, QAccessible::Focus, 1},
        {[&] { PressKey(Qt::Key_End); }, QAccessible::Focus, 3},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        g_rowEvents.clear();
        steps[i].act();
        EXPECT_TRUE(Told(steps[i].type, steps[i].row))
            << "step " << i << ": event " << steps[i].type << " for row " << steps[i].row;
    }
    QAccessible::installUpdateHandler(nullptr);
}

TEST_F(StatusLog, NewestLoggedLineIsAlwaysInView)
{
    StartDialog();
    for (int i = 0; i < 300; ++i)
        m_dlg->LogLine("line " + std::to_string(i));
    QApplication::processEvents();
    auto* list = Page().List();
    const QRect itemRect = list->visualItemRect(list->item(list->count() - 1));
    EXPECT_TRUE(list->viewport()->rect().intersects(itemRect));
}

// Counts the paints that reach the widgets it watches.
class CPaintCounter : public QObject {
public:
    int m_nPaints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        m_nPaints += e->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

// A paint shows the list as its last update left it: scrolling or a new range from inside a
// paint would ask for the next paint, and the window would repaint once for every line.
TEST_F(StatusLog, WindowPaintsAtScreenRateAndNeverScrollsInsideAPaint)
{
    StartDialog();
    QApplication::processEvents();
    auto* list = Page().List();
    QScrollBar* bar = list->verticalScrollBar();
    for (int i = 0; i < 300; ++i)
        m_dlg->LogLine("line " + std::to_string(i));
    const int maximum = bar->maximum();
    const int value = bar->value();
    list->viewport()->repaint();
    EXPECT_EQ(bar->maximum(), maximum);
    EXPECT_EQ(bar->value(), value);

    // A line and a step of the bar in every pass of the event loop, as an update sends them.
    CPaintCounter paints;
    list->viewport()->installEventFilter(&paints);
    Page().Progress()->installEventFilter(&paints);
    constexpr int LINES = 400;
    m_dlg->OnRunStarted(LINES);
    for (int i = 0; i < LINES; ++i) {
        m_dlg->OnProgress({"sent " + std::to_string(i), i + 1, i + 1});
        QApplication::processEvents();
    }
    EXPECT_TRUE(WaitUntil([&] { return Page().Progress()->updatesEnabled(); }));
    EXPECT_LT(paints.m_nPaints, LINES / 4);
    EXPECT_EQ(Page().Progress()->value(), LINES);
    EXPECT_TRUE(WaitUntil([&] {
        return list->viewport()->rect().intersects(list->visualItemRect(list->item(list->count() - 1)));
    }));
}

// The list places rows by their numbers: points, clicks and keys must find the same rows
// the list draws, however long it is.
TEST_F(StatusLog, LongListFindsRowsByPointClickAndKey)
{
    StartDialog();
    Page().List()->clear(); // the start-up hint is not part of this test
    constexpr int LINES = 100000;
    for (int i = 0; i < LINES; ++i)
        m_dlg->LogLine("line " + std::to_string(i));
    QApplication::processEvents();
    QListWidget* list = Page().List();
    QWidget* viewport = list->viewport();
    const auto inView = [&](int row) {
        return viewport->rect().contains(list->visualItemRect(list->item(row)));
    };
    EXPECT_TRUE(inView(LINES - 1));
    EXPECT_FALSE(inView(LINES - 30));
    for (int row = LINES - 3; row < LINES; ++row)
        EXPECT_EQ(list->itemAt(list->visualItemRect(list->item(row)).center()), list->item(row));

    const QPointF point = list->visualItemRect(list->item(LINES - 2)).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, point, viewport->mapToGlobal(point), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &click);
    }
    ASSERT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->selectedItems().front()->text().toStdString(), "line 99998");

    const struct {
        int key;
        int row; // -1: somewhere above the row before, a page at most
    } moves[] = {{Qt::Key_Home, 0}, {Qt::Key_Down, 1}, {Qt::Key_End, LINES - 1}, {Qt::Key_PageUp, -1}};
    int before = list->currentRow();
    for (const auto& move : moves) {
        QKeyEvent press(QEvent::KeyPress, move.key, Qt::NoModifier);
        QApplication::sendEvent(list, &press);
        const int row = list->currentRow();
        if (move.row >= 0)
            EXPECT_EQ(row, move.row) << move.key;
        else
            EXPECT_TRUE(row < before && row > before - 30) << row;
        EXPECT_TRUE(inView(row)) << row;
        before = row;
    }
}

TEST_F(StatusLog, NoticeShowsTheTextAndShowsItAgain)
{
    StartDialog();
    CModalAnswerer answerer;
    answerer.Press("OK").Press("OK");
    m_dlg->ShowNotice("first text");
    Page().Notice().DoModal();
    ASSERT_EQ(answerer.AnsweredCount(), 2);
    EXPECT_EQ(answerer.Seen()[0].strText.toStdString(), "first text");
    EXPECT_EQ(answerer.Seen()[1].strText.toStdString(), "first text");
    EXPECT_EQ(answerer.Seen()[0].strTitle.toStdString(), "Kestova");
}

} // namespace

using Support = DialogFixture;

TEST_F(Support, SavedSupportLogHoldsVersionPortsD2xxAndTheSession)
{
    AddFakePort("ttyUSB0");
    StartDialog();
    m_dlg->SetWebBaseUrl(""); // none, whatever the build names
    CSupportLog log(m_dir + "/state/downloader.log");
    m_dlg->SetSupportLog(&log);
    m_dlg->LogLine("Found Device: kx410");

    const std::string saved = m_dir + "/support.log";
    CModalAnswerer answerer;
    answerer.ChooseFile(QString::fromStdString(saved));
    Page().Command(QStringLiteral("Save Support Log\u2026"));
    ASSERT_EQ(answerer.AnsweredCount(), 1);

    std::ifstream in(saved);
    std::stringstream text;
    text << in.rdbuf();
    const std::string report = text.str();
    EXPECT_NE(report.find("Version: kestova-downloader "), std::string::npos) << report;
    EXPECT_NE(report.find("Ports found: ttyUSB0"), std::string::npos) << report;
    EXPECT_NE(report.find("D2XX library " + CUsbCableLink::DriverLibraryName() + ": "),
              std::string::npos) << report;
    EXPECT_NE(report.find("Firmware service: none set\n"), std::string::npos) << report;
    EXPECT_NE(report.find(" status Found Device: kx410\n"), std::string::npos) << report;
    EXPECT_EQ(ListLines().back(), "Support log saved to " + saved);
    m_dlg->SetSupportLog(nullptr); // the log goes before the window
}

// A log file that cannot be written is said in the status list once, and the session is
// still saved from memory.
TEST_F(Support, AnUnwritableSupportLogIsSaidOnceStaysInSightAndTheSessionStillSaved)
{
    StartDialog();
    CSupportLog log(""); // no home
    m_dlg->SetSupportLog(&log);
    m_dlg->LogLine("Found Device: kx410");
    log.Flush();
    const auto said = [&] {
        const std::vector<std::string> lines = ListLines();
        return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.rfind("The support log cannot be written: ", 0) == 0;
        });
    };
    ASSERT_TRUE(WaitUntil([&] { return said() > 0; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(said(), 1);
    // The list is cleared as the unit is identified: the failure stays in sight beside it.
    m_dlg->OnStatusCleared();
    EXPECT_TRUE(Page().LogFailure()->isVisible());
    EXPECT_TRUE(Page().LogFailure()->text().startsWith(QStringLiteral("The support log cannot be written: ")));

    const std::string saved = m_dir + "/support.log";
    CModalAnswerer answerer;
    answerer.ChooseFile(QString::fromStdString(saved));
    Page().Command(QStringLiteral("Save Support Log\u2026"));
    std::ifstream in(saved);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find(" status Found Device: kx410\n"), std::string::npos) << text.str();
    m_dlg->SetSupportLog(nullptr);
}

TEST_F(Support, UnsavableSettingsAreSaidOnceAndABadServiceAddressKeepsTheDefault)
{
    // A folder where the settings file should be: every write fails, even for root.
    std::filesystem::create_directories(m_dir + "/Kestova.ini");
    m_dlg = std::make_unique<CDownloaderDlg>();
    m_dlg->SetProgramDirOverride(m_dir);
    m_dlg->SetServiceOverride("ftp://fw.example.com");
    const std::string builtIn = m_dlg->Engine().WebBaseUrl();
    m_dlg->OnInitDialog();
    Page().Settings().SavePort("USB");

    const auto lines = ListLines();
    ASSERT_EQ(lines.size(), 3u) << testing::PrintToString(lines);
    EXPECT_EQ(lines[0], "Settings cannot be saved to " + m_dir +
                            "/Kestova.ini; they will be lost when the program ends.");
    EXPECT_EQ(lines[1], "Firmware service \"ftp://fw.example.com\" not used: only http:// and "
                        "https:// addresses are accepted. " +
                            (builtIn.empty() ? std::string("No firmware service is set.")
                                             : "Using " + builtIn + "."));
    EXPECT_EQ(lines[2], CHOOSE_PORT);
    EXPECT_EQ(m_dlg->Engine().WebBaseUrl(), builtIn);
}

TEST_F(Support, ServiceSettingIsUsedAndTheCommandLineWins)
{
    WriteSettings("[Settings]\nCOM PORT=\nFIRMWARE SERVICE=https://fw.example.com/\n");
    StartDialog();
    EXPECT_EQ(m_dlg->Engine().WebBaseUrl(), "https://fw.example.com");
    m_dlg.reset();
    m_dlg = std::make_unique<CDownloaderDlg>();
    m_dlg->SetProgramDirOverride(m_dir);
    m_dlg->SetServiceOverride("http://127.0.0.1:9999");
    m_dlg->OnInitDialog();
    EXPECT_EQ(m_dlg->Engine().WebBaseUrl(), "http://127.0.0.1:9999");
    EXPECT_EQ(ListLines(), std::vector<std::string>{CHOOSE_PORT});
}
