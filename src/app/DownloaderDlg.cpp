#include "app/DownloaderDlg.h"

#include "app/FocusRingStyle.h"
#include "app/PortCombo.h"
#include "app/ProgressPacer.h"
#include "app/ScreenRatePacer.h"
#include "app/StatusList.h"
#include "app/WindowMenu.h"
#include "app/CommandLine.h"
#include "app/WindowControls.h"
#include "app/bench/BenchWindow.h"
#include "platform/DialogUnits.h"
#include "platform/SupportLog.h"
#include "platform/UpdateHistory.h"
#include "res/Resources.h"
#include "res/StringTable.h"
#include "web/ServiceUrl.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QPointer>
#include <QTimer>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include <csignal>
#include <cstdio>

namespace {
const char* FILE_FILTER = "Kestova Programming Files (*.fwr)";
constexpr int ICON_SMALL_PX = 16;
constexpr const char* TEXT_CHOOSE_PORT =
    "Choose the Tetherix in the port list, or press Detect Tetherix.";
}

CDownloaderDlg::CDownloaderDlg(QWidget* parent)
    : QDialog(parent), m_settings([this](const std::string& text) { LogLine(text); }),
      m_engine(*this),
      m_stop(*this, m_engine, [this](const std::string& text) { LogLine(text); },
             [this] {
                 OnDestroy();
                 done(IDCANCEL);
             })
{
    m_engine.SetWebBaseUrl(KX_WEB_BASE_URL);
    CFocusRingStyle::Install();
    m_hSmallIcon = LoadAppIcon();
    CreateControls();
    m_pMenu = new CWindowMenu(*this, m_engine, m_settings,
                              CWindowMenu::Host{[this](const std::string& text) { LogLine(text); },
                                                [this](const std::string& text) { ShowMessageBox(text); },
                                                [this] { OnCancel(); },
                                                [this] { OnSeveralUnits(); }});
}

CDownloaderDlg::~CDownloaderDlg()
{
    OnDestroy();
}

void CDownloaderDlg::CreateControls()
{
    setWindowTitle(QStringLiteral("Kestova Firmware Downloader"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    const CDialogUnits du(font());
    auto button = [&](int id, const char* text, int widthDlu) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::number(id));
        b->setFixedSize(du.X(widthDlu), du.Y(11));
        b->setAutoDefault(false);
        return b;
    };
    // Template order is also the tab order.
    auto* exitButton = button(IDCANCEL, "Exit", 37);
    connect(exitButton, &QPushButton::clicked, this, [this] { OnCancel(); });
    m_btnDetect = button(IDC_DETECT, "Detect Tetherix", 65);
    m_comboPort = new CPortCombo(this);
    m_comboPort->setObjectName(QString::number(IDC_PORT));
    m_comboPort->setFixedSize(du.X(65), du.Y(12));
    m_comboPort->setMaxVisibleItems(8);
    // A drop-down list is named by its label, not by a name of its own; the template has no
    // label on screen, so an unseen one names it for assistive technology.
    auto* portLabel = new QLabel(QStringLiteral("Port"), this);
    portLabel->setBuddy(m_comboPort);
    portLabel->hide();
    // The middle column is a little wider than its template, so that "Open Local File" clears
    // its button's edges; it takes the room from the gap on its left.
    m_btnOpenFile = button(IDC_OPEN_FILE, "Open Local File", 60);
    m_list = new CStatusList(this);
    m_list->setObjectName(QString::number(IDC_STATUS_LIST));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAccessibleName(QStringLiteral("Status"));
    m_btnSend = button(IDC_SEND, "Send", 37);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QString::number(IDC_PROGRESS));
    m_progress->setFixedHeight(du.Y(7));
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setAccessibleName(QStringLiteral("Progress"));
    m_pProgressPacer = new CScreenRatePacer([bar = m_progress] { bar->setUpdatesEnabled(true); },
                                            m_progress);
    m_pProgressPace = new CProgressPacer([this](int nValue) { ShowProgress(nValue); }, m_progress);
    m_btnGetFromWeb = button(IDC_GET_FROM_WEB, "Get from Web", 60);
    m_logFailure = new QLabel(this);
    m_logFailure->setWordWrap(true);
    m_logFailure->hide();
    LayOutControls(du);
    SetImageButtons(false, false, false);
    m_pMilestones = std::make_unique<CMilestoneAnnouncer>(*this);

    m_pPorts = std::make_unique<CPortChooser>(
        *m_comboPort, m_engine, m_settings,
        CPortChooser::Host{[this](const std::string& text) { LogLine(text); },
                           [this](const std::string& text) { ShowNotice(text); },
                           [this] { ConnectSelectedPort(); },
                           [this] {
                               m_btnOpenFile->setEnabled(false);
                               m_btnGetFromWeb->setEnabled(false);
                           }},
        this);
    connect(m_btnDetect, &QPushButton::clicked, this, [this] { m_pPorts->OnDetect(); });
    connect(m_btnOpenFile, &QPushButton::clicked, this, [this] { OnOpenLocalFile(); });
    connect(m_btnSend, &QPushButton::clicked, this, [this] { StartProgramming(); });
    connect(m_btnGetFromWeb, &QPushButton::clicked, this, [this] { OnGetFromWeb(); });
}

// The template's places: the list above two rows of controls, in columns with the template's
// gaps. A larger window gives its room to the list and to an empty column before Send, which
// the progress bar spans: the left half stays, the right half keeps its distance from the
// right edge and the bar grows. The template's size is the default and the smallest.
void CDownloaderDlg::LayOutControls(const CDialogUnits& du)
{
    auto* grid = new QGridLayout(this);
    grid->setSpacing(0);
    grid->setContentsMargins(du.X(3), du.Y(2), du.X(3), du.Y(4));
    enum { LEFT, LEFT_GAP, MIDDLE, MIDDLE_GAP, ROOM, SEND, SEND_GAP, EXIT, COLUMNS };
    const int gapsDlu[] = {0, 40, 0, 3, 0, 0, 3, 0};
    for (int column = 0; column < COLUMNS; ++column)
        grid->setColumnMinimumWidth(column, du.X(gapsDlu[column]));
    grid->setColumnStretch(ROOM, 1);
    enum { LIST, FAILURE, BUTTONS, ROW_GAP, CHOICES };
    grid->setRowMinimumHeight(FAILURE, du.Y(2));
    grid->setRowMinimumHeight(ROW_GAP, du.Y(3));
    grid->setRowStretch(LIST, 1);
    grid->addWidget(m_list, LIST, 0, 1, COLUMNS);
    grid->addWidget(m_logFailure, FAILURE, 0, 1, COLUMNS);
    grid->addWidget(m_btnDetect, BUTTONS, LEFT);
    grid->addWidget(m_btnOpenFile, BUTTONS, MIDDLE);
    grid->addWidget(m_btnSend, BUTTONS, SEND);
    grid->addWidget(findChild<QPushButton*>(QString::number(IDCANCEL)), BUTTONS, EXIT);
    grid->addWidget(m_comboPort, CHOICES, LEFT, Qt::AlignTop);
    grid->addWidget(m_btnGetFromWeb, CHOICES, MIDDLE, Qt::AlignBottom);
    grid->addWidget(m_progress, CHOICES, ROOM, 1, COLUMNS - ROOM, Qt::AlignVCenter);
    const QSize defaultSize(du.X(251), du.Y(82));
    setMinimumSize(defaultSize);
    resize(defaultSize);
    setSizeGripEnabled(true);
}

int CDownloaderDlg::DoModal()
{
    OnInitDialog();
    if (!m_stop.IsEnded())
        exec();
    // The window went away without a close request (another program destroyed it, and the
    // window system hid it): the program ends as on SIGTERM, never running on unseen.
    m_stop.EndAfterWindowWentAway();
    return result();
}

bool CDownloaderDlg::OnInitDialog()
{
    setWindowIcon(m_hSmallIcon);
    m_nDots = 0;
    SetImageButtons(false, false, false);

    m_settings.Open();
    const std::string savedPort = m_settings.SavedPort();
    ApplyServiceAddress();

    m_stop.StartSleepInhibitor();
    m_pPorts->Start(savedPort);
    if (savedPort.empty()) {
        LogLine(TEXT_CHOOSE_PORT);
        m_pMilestones->Tell(TEXT_CHOOSE_PORT);
    }
    if (!m_strStartFile.empty())
        LogLine(m_strStartFile + " will be opened once a unit is identified: waiting for the unit.");
    return true;
}

void CDownloaderDlg::OnCancel()
{
    if (m_stop.IsEnded())
        return;
    // Closed again while the update stops: the user does not wait for the line in flight.
    if (m_stop.IsStopping()) {
        m_stop.RequestStop(CStopController::EXIT_CLOSED_MID_UPDATE, "the window was closed again");
        return;
    }
    if (m_engine.Phase() != EnginePhase::Connecting) {
        QString question = QStringLiteral("Are you sure you want to exit?");
        if (m_stop.IsUpdateRunning())
            question = QStringLiteral("An update of the %1 is running. It will stop after the line in flight, "
                                      "and the %1 must then be updated again before it is used.\n\n")
                           .arg(QString::fromStdString(m_engine.Identity().m_strModel)) +
                       question;
        const auto answer = QMessageBox::question(this, QStringLiteral("Kestova"), question,
                                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes || m_stop.IsEnded())
            return;
    }
    if (m_stop.IsUpdateRunning()) {
        m_stop.RequestStop(CStopController::EXIT_CLOSED_MID_UPDATE, "the window was closed");
        return;
    }
    m_stop.End();
}

void CDownloaderDlg::OnDestroy()
{
    if (m_pSupportLog != nullptr)
        m_pSupportLog->SetFailureHandler({});
    m_engine.Shutdown();
}

void CDownloaderDlg::contextMenuEvent(QContextMenuEvent* e)
{
    m_pMenu->Open(e->globalPos());
}

void CDownloaderDlg::closeEvent(QCloseEvent* e)
{
    // The close box asks like Exit; the dialog ends itself through EndDialog when allowed. A
    // window destroyed under the program cannot ask: that ends it as SIGTERM would.
    e->ignore();
    if (m_stop.IsWindowGone()) {
        m_stop.RequestStop(CStopController::EXIT_SIGNAL_BASE + SIGTERM, "the window was destroyed");
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

void CDownloaderDlg::ApplyServiceAddress()
{
    // The setting overrides the built-in address, the command line overrides both.
    for (const std::string& candidate :
         {m_settings.FirmwareService(), m_strServiceOverride}) {
        if (candidate.empty())
            continue;
        std::string url;
        std::string reason;
        if (CheckServiceUrl(candidate, url, reason))
            SetWebBaseUrl(url);
        else
            LogLine("Firmware service \"" + candidate + "\" not used: " + reason + ". " +
                    (m_engine.WebBaseUrl().empty() ? std::string("No firmware service is set.")
                                                   : "Using " + m_engine.WebBaseUrl() + "."));
    }
}

void CDownloaderDlg::SetSupportLog(CSupportLog* pLog)
{
    if (m_pSupportLog != nullptr)
        m_pSupportLog->SetFailureHandler({});
    m_pSupportLog = pLog;
    m_engine.SetSupportLog(pLog);
    m_stop.SetSupportLog(pLog);
    m_pMenu->SetSupportLog(pLog);
    if (pLog == nullptr)
        return;
    // Told on the window's thread, with the next entry after the failure; the line is added
    // once the current event is done, as the log may be in the middle of an entry.
    QPointer<CDownloaderDlg> pDlg(this);
    pLog->SetFailureHandler([pDlg](const std::string& why) {
        std::fprintf(stderr, "kestova-downloader: the support log cannot be written: %s\n", why.c_str());
        QTimer::singleShot(0, pDlg.data(), [pDlg, why] {
            if (pDlg)
                pDlg->OnSupportLogFailed(why);
        });
    });
}

void CDownloaderDlg::OnSupportLogFailed(const std::string& why)
{
    // Said in the list, and kept in sight beside it: the list is cleared as the unit is
    // identified and fills with data lines while it is updated.
    const std::string sentence = "The support log cannot be written: " + why +
                                 ". This session is kept in memory; Save Support "
                                 "Log\xE2\x80\xA6 in the window menu saves it.";
    LogLine(sentence);
    m_logFailure->setText(QString::fromStdString(sentence));
    m_logFailure->show();
}

void CDownloaderDlg::SetUpdateHistory(CUpdateHistory* pHistory)
{
    m_pHistory = pHistory;
    m_pMenu->SetUpdateHistory(pHistory);
    m_engine.SetUpdateHistory(pHistory, "window");
    if (pHistory == nullptr)
        return;
    pHistory->SetUnwritableHandler([this](const std::string& text) {
        if (m_pSupportLog != nullptr)
            m_pSupportLog->Note(text);
        LogLine(text);
    });
}

void CDownloaderDlg::OnOpenLocalFile()
{
    // The file is chosen for the unit shown now; the unit may change while the dialog is open.
    const EngineTicket ticket = m_engine.Ticket();
    QFileDialog dialog(this, QString(), QString::fromStdString(m_settings.LastDirectory()),
                       QString::fromLatin1(FILE_FILTER));
    dialog.setObjectName(QStringLiteral("FirmwareFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ReadOnly, true);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QPointer<QWidget> pFocusBefore = QApplication::focusWidget();
    const int result = dialog.exec();
    ReturnFocus(pFocusBefore);
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;

    OpenFirmwareFile(dialog.selectedFiles().front().toStdString(), ticket);
}

void CDownloaderDlg::OpenFirmwareFile(const std::string& path, const EngineTicket& ticket)
{
    m_strFirmwarePath = path;
    const auto slash = m_strFirmwarePath.rfind('/');
    const std::string directory =
        slash == std::string::npos ? m_strFirmwarePath : m_strFirmwarePath.substr(0, slash);
    // Remembered before the file is read, so the next dialog opens here even if it fails.
    m_settings.SaveLastDirectory(directory);

    m_engine.LoadImageFileFor(ticket, m_strFirmwarePath);
}

// A file dialog closed by Enter while its name suggestions show can leave no window active:
// the main window takes the focus back, on the control that had it when it is still usable.
void CDownloaderDlg::ReturnFocus(QWidget* pFocusBefore)
{
    activateWindow();
    raise();
    if (pFocusBefore != nullptr && pFocusBefore->window() == this && pFocusBefore->isEnabled()) {
        pFocusBefore->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (QApplication::focusWidget() == nullptr || QApplication::focusWidget()->window() != this)
        focusNextChild();
}

void CDownloaderDlg::OpenStartFileWhenIdentified()
{
    if (m_strStartFile.empty() || m_engine.Phase() != EnginePhase::Identified || !m_btnOpenFile->isEnabled())
        return;
    const std::string path = m_strStartFile;
    m_strStartFile.clear();
    OpenFirmwareFile(path, m_engine.Ticket());
}

void CDownloaderDlg::OnSecondStart(const std::string& path)
{
    if (m_stop.IsEnded())
        return;
    // The service bench open over the window takes the file as its image.
    for (QDialog* dialog : findChildren<QDialog*>()) {
        if (auto* bench = dynamic_cast<CBenchWindow*>(dialog); bench != nullptr && bench->isVisible()) {
            bench->OnSecondStart(path);
            return;
        }
    }
    showNormal();
    raise();
    activateWindow();
    if (m_pSupportLog != nullptr)
        m_pSupportLog->Note("Started again" + (path.empty() ? std::string(".") : " with " + path + "."));
    if (path.empty())
        return;
    if (const std::string why = StartFileProblem(path); !why.empty()) {
        LogLine("The file " + path + " cannot be opened: " + why + ".");
        return;
    }
    m_strStartFile = path;
    if (m_engine.Phase() == EnginePhase::Identified && ControlsFor(m_engine.Snapshot()).bOpenFile) {
        OpenStartFileWhenIdentified();
        return;
    }
    LogLine(path + " will be opened once a unit is identified: waiting for the unit.");
}

void CDownloaderDlg::OnSeveralUnits()
{
    if (m_stop.IsEnded() || m_stop.IsUpdateRunning())
        return;
    m_engine.CloseLinkAndIdle("the service bench was opened");
    CBenchWindow bench(this);
    bench.SetSupportLog(m_pSupportLog);
    bench.SetUpdateHistory(m_pHistory);
    bench.SetServiceAddress(m_engine.WebBaseUrl());
    // Stop signals are the bench's while it is open.
    m_stop.LendStopSignals(true);
    bench.SetStopSignals(m_stop.StopSignals());
    bench.DiscoverChannels();
    bench.exec();
    m_stop.LendStopSignals(false);
    if (bench.ExitStatus() > CStopController::EXIT_SIGNAL_BASE &&
        bench.ExitStatus() != CStopController::EXIT_CLOSED_MID_UPDATE) {
        m_stop.RequestStop(bench.ExitStatus(), "the service bench was stopped by a signal");
        return;
    }
    ConnectSelectedPort();
}
