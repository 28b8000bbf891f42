#include "app/DownloaderDlg.h"

#include "app/NativeWindowWatch.h"
#include "app/bench/BenchWindow.h"

#include "app/Announcer.h"
#include "app/FocusRingStyle.h"
#include "app/PortCombo.h"
#include "app/ProgressPacer.h"
#include "app/ScreenRatePacer.h"
#include "app/StatusList.h"
#include "app/WindowMenuKeys.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/EchoLinkDlg.h"
#include "platform/DialogUnits.h"
#include "platform/ProgramPath.h"
#include "platform/UserDirs.h"
#include "platform/SleepInhibitor.h"
#include "platform/SupportLog.h"
#include "res/Resources.h"
#include "res/StringTable.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSocketNotifier>

#include <csignal>

namespace {
constexpr int ICON_SMALL_PX = 16;
constexpr const char* TEXT_CHOOSE_PORT =
    "Choose the Tetherix in the port list, or press Detect Tetherix.";
}

CDownloaderDlg::CDownloaderDlg(QWidget* parent)
    : QDialog(parent), m_engine(*this)
{
    m_engine.SetWebBaseUrl(KX_WEB_BASE_URL);
    CFocusRingStyle::Install();
    m_hSmallIcon = LoadAppIcon();
    CreateControls();
    BuildSystemMenu();
}

CDownloaderDlg::~CDownloaderDlg()
{
    OnDestroy();
    m_pInhibitor.reset();
}

void CDownloaderDlg::CreateControls()
{
    setWindowTitle(QStringLiteral("Kestova Firmware Downloader"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    const CDialogUnits du(font());
    // The template's size is the default and the smallest; a larger window gives the status
    // list the room.
    m_defaultSize = QSize(du.X(251), du.Y(82));
    setMinimumSize(m_defaultSize);
    resize(m_defaultSize);

    auto button = [&](int id, const char* text, QRect geometry) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::number(id));
        b->setGeometry(geometry);
        b->setAutoDefault(false);
        return b;
    };
    // Template order is also the tab order.
    auto* exitButton = button(IDCANCEL, "Exit", du.Rect(211, 52, 37, 11));
    connect(exitButton, &QPushButton::clicked, this, [this] { OnCancel(); });
    m_btnDetect = button(IDC_DETECT, "Detect Tetherix", du.Rect(3, 52, 65, 11));
    m_comboPort = new CPortCombo(this);
    m_comboPort->setObjectName(QString::number(IDC_PORT));
    m_comboPort->setGeometry(du.Rect(3, 66, 65, 12));
    m_comboPort->setMaxVisibleItems(8);
    // A drop-down list is named by its label, not by a name of its own; the template has no
    // label on screen, so an unseen one names it for assistive technology.
    auto* portLabel = new QLabel(QStringLiteral("Port"), this);
    portLabel->setBuddy(m_comboPort);
    portLabel->hide();
    // The middle column is a little wider than its template, so that "Open Local File" clears
    // its button's edges; it grows to the left, into the gap, so nothing else moves.
    m_btnOpenFile = button(IDC_OPEN_FILE, "Open Local File", du.Rect(108, 52, 60, 11));
    m_list = new CStatusList(this);
    m_list->setObjectName(QString::number(IDC_STATUS_LIST));
    m_list->setGeometry(du.Rect(3, 2, 245, 48));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAccessibleName(QStringLiteral("Status"));
    m_btnSend = button(IDC_SEND, "Send", du.Rect(171, 52, 37, 11));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QString::number(IDC_PROGRESS));
    m_progress->setGeometry(du.Rect(171, 69, 77, 7));
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setAccessibleName(QStringLiteral("Progress"));
    m_pProgressPacer = new CScreenRatePacer([bar = m_progress] { bar->setUpdatesEnabled(true); },
                                            m_progress);
    m_pProgressPace = new CProgressPacer([this](int nValue) { ShowProgress(nValue); }, m_progress);
    m_btnGetFromWeb = button(IDC_GET_FROM_WEB, "Get from Web", du.Rect(108, 67, 60, 11));
    SetImageButtons(false, false, false);
    m_pAnnouncer = new CAnnouncer(this);

    connect(m_btnDetect, &QPushButton::clicked, this, [this] { OnDetect(); });
    connect(m_btnOpenFile, &QPushButton::clicked, this, [this] { OnOpenLocalFile(); });
    connect(m_btnSend, &QPushButton::clicked, this, [this] { StartProgramming(); });
    connect(m_btnGetFromWeb, &QPushButton::clicked, this, [this] { OnGetFromWeb(); });
    connect(m_comboPort, &CPortCombo::DropDownOpening, this, [this] { OnPortDropDown(); });
    connect(m_comboPort, &CPortCombo::DropDownClosed, this, [this] { ConnectSelectedPort(); });
    connect(m_comboPort, &CPortCombo::ChosenWhileClosed, this, [this] { OnPortChosenWhileClosed(); });
    // The engine is told of the choice when it is made; it reopens that port on every reset.
    connect(m_comboPort, &QComboBox::currentIndexChanged, this,
            [this] { m_engine.ChoosePort(SelectedPort()); });
    NoteDefaultLayout();
}

void CDownloaderDlg::BuildSystemMenu()
{
    // Linux window managers give a program no title-bar menu of its own: the same menu opens
    // from a right click in the window, Alt+Space, Shift+F10 or the Menu key.
    // The menu is named when it opens, and its first item is the program's own.
    m_sysMenu = new QMenu(QStringLiteral("Window Menu"), this);
    m_sysMenu->setAccessibleName(QStringLiteral("Window Menu"));
    const std::string about = LoadString(IDS_ABOUTBOX);
    if (!about.empty()) {
        m_sysMenu->addAction(QString::fromStdString(about), this,
                             [this] { OnSysCommand(IDM_ABOUTBOX); });
        m_sysMenu->addAction(QStringLiteral("Echo Test"), this,
                             [this] { OnSysCommand(IDM_ECHOTEST); });
        m_sysMenu->addAction(QStringLiteral("Save Support Log\u2026"), this,
                             [this] { OnSysCommand(IDM_SAVELOG); });
        m_sysMenu->addAction(QStringLiteral("Firmware Service\u2026"), this,
                             [this] { OnSysCommand(IDM_SERVICE); });
        m_sysMenu->addAction(QStringLiteral("Update History\u2026"), this,
                             [this] { OnSysCommand(IDM_HISTORY); });
        m_sysMenu->addAction(QStringLiteral("Check This Computer\u2026"), this,
                             [this] { OnSysCommand(IDM_DOCTOR); });
        m_sysMenu->addAction(QStringLiteral("Several Units\u2026"), this,
                             [this] { OnSeveralUnits(); });
        m_sysMenu->addSeparator();
    }
    m_sysMenu->addAction(QStringLiteral("&Close"), this, [this] { OnSysCommand(SC_CLOSE); });
    new CWindowMenuKeys(this, [this] { m_sysMenu->exec(mapToGlobal(QPoint(0, 0))); });
}

int CDownloaderDlg::DoModal()
{
    OnInitDialog();
    if (m_bEnded)
        return result();
    const int nResult = exec();
    if (m_bEnded)
        return nResult;
    // The window went away without a close request (another program destroyed it, and the
    // window system hid it): the program ends as on SIGTERM, never running on unseen.
    QEventLoop endLoop;
    m_pEndLoop = &endLoop;
    RequestStop(EXIT_SIGNAL_BASE + SIGTERM, "the window went away");
    if (!m_bEnded)
        endLoop.exec();
    m_pEndLoop = nullptr;
    return result();
}

std::string CDownloaderDlg::ComputeProgramDir() const
{
    if (!m_strProgramDirOverride.empty())
        return m_strProgramDirOverride;
    return DirectoryOf(GetModuleFileName());
}

void CDownloaderDlg::StartFirstRunDefaults()
{
    if (m_ini.KeyExists(SETTINGS_SECTION, KEY_COM_PORT))
        return;
    // The program's own folder is where its files are looked for first, as long as it keeps
    // its settings beside itself (a portable copy); an installed program starts in the home.
    const std::string programDir = ComputeProgramDir();
    const std::string home = QDir::homePath().toStdString();
    const bool bPortable = m_ini.Path() && DirectoryOf(m_ini.Path()) == programDir;
    const std::string firstDir = bPortable || home.empty() ? programDir : home;
    m_ini.WriteString(SETTINGS_SECTION, KEY_LAST_DIRECTORY, firstDir.c_str());
    m_ini.WriteString(SETTINGS_SECTION, KEY_COM_PORT, "");
}

bool CDownloaderDlg::OnInitDialog()
{
    setWindowIcon(m_hSmallIcon);
    m_nDots = 0;
    SetImageButtons(false, false, false);

    m_strProgramDir = ComputeProgramDir();
    m_ini.SetPath(ChooseSettingsFile().c_str());
    m_ini.SetWriteFailedHandler([this](const std::string& path) { OnSettingsWriteFailed(path); });
    StartFirstRunDefaults();
    // The saved choice is the cable's lasting name: find the port it has today.
    const std::string savedPort = m_ini.GetString(SETTINGS_SECTION, KEY_COM_PORT);
    m_strPortName = ResolveSavedPort(savedPort);
    m_strLastDirectory = m_ini.GetString(SETTINGS_SECTION, KEY_LAST_DIRECTORY);
    ApplyServiceAddress();

    StartSleepInhibitor();
    m_portNames = m_engine.ListSerialPorts();
    m_portNames.push_back(USB_PORT_NAME);
    StartHotplugMonitor();
    FillPortListAndOpenSaved();
    if (savedPort.empty()) {
        LogLine(TEXT_CHOOSE_PORT);
        TellMilestone(TEXT_CHOOSE_PORT);
    }
    if (!m_strStartFile.empty())
        LogLine(m_strStartFile + " will be opened once a unit is identified: waiting for the unit.");
    return true;
}

void CDownloaderDlg::FillPortListAndOpenSaved()
{
    bool bMatched = false;
    for (const auto& name : m_portNames) {
        AddPortEntry(name);
        bMatched = bMatched || name == m_strPortName;
    }
    if (!bMatched) {
        m_strPortName.clear();
        return;
    }
    m_comboPort->SelectString(m_strPortName);
    m_engine.OpenSavedPort(m_strPortName);
}

void CDownloaderDlg::OnSysCommand(UINT nId)
{
    switch (nId & 0xFFF0) {
    case IDM_ECHOTEST: {
        CEchoLinkDlg echoDlg;
        if (echoDlg.DoModal() != IDOK)
            return;
        m_engine.StartEchoTest();
        return;
    }
    case IDM_SAVELOG:
        OnSaveSupportLog();
        return;
    case IDM_SERVICE:
        OnFirmwareService();
        return;
    case IDM_HISTORY:
        OnUpdateHistory();
        return;
    case IDM_DOCTOR:
        OnCheckComputer();
        return;
    case IDM_ABOUTBOX: {
        CAboutDlg aboutDlg;
        aboutDlg.DoModal();
        return;
    }
    case SC_CLOSE:
        OnCancel();
        return;
    default:
        return;
    }
}

void CDownloaderDlg::OnSeveralUnits()
{
    if (m_bEnded || IsUpdateRunning())
        return;
    m_engine.CloseLinkAndIdle("the service bench was opened");
    CBenchWindow bench(this);
    bench.SetSupportLog(m_pSupportLog);
    bench.SetUpdateHistory(m_pHistory);
    bench.SetServiceAddress(m_engine.WebBaseUrl());
    // Stop signals are the bench's while it is open.
    if (m_pStopNotifier != nullptr)
        m_pStopNotifier->setEnabled(false);
    bench.SetStopSignals(m_pStopSignals);
    bench.DiscoverChannels();
    bench.exec();
    if (m_pStopNotifier != nullptr)
        m_pStopNotifier->setEnabled(true);
    if (bench.ExitStatus() > EXIT_SIGNAL_BASE && bench.ExitStatus() != EXIT_CLOSED_MID_UPDATE) {
        RequestStop(bench.ExitStatus(), "the service bench was stopped by a signal");
        return;
    }
    ConnectSelectedPort();
}

void CDownloaderDlg::OnCancel()
{
    if (m_bEnded)
        return;
    // Closed again while the update stops: the user does not wait for the line in flight.
    if (m_bStopping) {
        RequestStop(EXIT_CLOSED_MID_UPDATE, "the window was closed again");
        return;
    }
    if (m_engine.Phase() != EnginePhase::Connecting) {
        QString question = QStringLiteral("Are you sure you want to exit?");
        if (IsUpdateRunning())
            question = QStringLiteral("An update of the %1 is running. It will stop after the line in flight, "
                                      "and the %1 must then be updated again before it is used.\n\n")
                           .arg(QString::fromStdString(m_engine.Identity().m_strModel)) +
                       question;
        const auto answer = QMessageBox::question(this, QStringLiteral("Kestova"), question,
                                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes || m_bEnded)
            return;
    }
    if (IsUpdateRunning()) {
        RequestStop(EXIT_CLOSED_MID_UPDATE, "the window was closed");
        return;
    }
    EndDialog(IDCANCEL);
}

void CDownloaderDlg::OnOK()
{
    // Enter with no button focused: ending the program here could cut an update short without
    // a word, so it takes the same confirmed way out as Exit.
    OnCancel();
}

void CDownloaderDlg::EndDialog(int result)
{
    m_bEnded = true;
    OnDestroy();
    done(result);
    if (m_pEndLoop != nullptr)
        m_pEndLoop->quit();
}

void CDownloaderDlg::OnDestroy()
{
    if (m_pSupportLog != nullptr)
        m_pSupportLog->SetFailureHandler({});
    m_engine.Shutdown();
}

void CDownloaderDlg::contextMenuEvent(QContextMenuEvent* e)
{
    m_sysMenu->exec(e->globalPos());
}

void CDownloaderDlg::closeEvent(QCloseEvent* e)
{
    // The close box asks like Exit; the dialog ends itself through EndDialog when allowed. A
    // window destroyed under the program cannot ask: that ends it as SIGTERM would.
    e->ignore();
    if (IsPlatformWindowGone()) {
        RequestStop(EXIT_SIGNAL_BASE + SIGTERM, "the window was destroyed");
        return;
    }
    OnCancel();
}

void CDownloaderDlg::ShowMessageBox(const std::string& text)
{
    if (m_pSupportLog != nullptr)
        m_pSupportLog->Notice(text);
    QMessageBox::warning(this, QStringLiteral("Kestova"), QString::fromStdString(text),
                         QMessageBox::Ok);
}
