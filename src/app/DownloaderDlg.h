// The main window of the downloader: it owns the settings and an update engine, which holds the
// link, the firmware image and the unit's identity; the window renders what the engine reports
// and forwards the user's actions to it. Every handler runs on the user-interface thread.
#pragma once

#include "app/IniFile.h"
#include "app/SupportReport.h"
#include "app/WindowControls.h"
#include "device/UpdateEngine.h"
#include "dialogs/NoticeDlg.h"
#include "dialogs/PromptDlg.h"
#include "link/ComPortEnum.h"
#include "link/TetherixDevices.h"
#include "link/UeventSource.h"

#include <QDialog>
#include <QPersistentModelIndex>

#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QListWidget;
class QProgressBar;
class QPushButton;
class QMenu;
class CAnnouncer;
class CPortCombo;
class CSupportLog;
class CScreenRatePacer;
class CSignalPipe;
class CSleepInhibitor;
class QSocketNotifier;
class CProgressPacer;
class CHotplugMonitor;
class CNativeWindowWatch;
class CUpdateHistory;

using UINT = unsigned int;

// Commands of the window's system menu.
constexpr UINT IDM_ABOUTBOX = 0x0010;
constexpr UINT IDM_ECHOTEST = 0x0020;
constexpr UINT IDM_SAVELOG = 0x0030;
constexpr UINT IDM_SERVICE = 0x0040;
constexpr UINT IDM_HISTORY = 0x0050;
constexpr UINT IDM_DOCTOR = 0x0060;
constexpr UINT SC_CLOSE = 0xF060;

// Controls of the main dialog.
constexpr int IDC_DETECT = 1000;
constexpr int IDC_PORT = 1006;
constexpr int IDC_OPEN_FILE = 1007;
constexpr int IDC_STATUS_LIST = 1008;
constexpr int IDC_SEND = 1009;
constexpr int IDC_PROGRESS = 1011;
constexpr int IDC_GET_FROM_WEB = 1013;

class CDownloaderDlg : public QDialog, public IEngineEvents {
    Q_OBJECT

public:
    explicit CDownloaderDlg(QWidget* parent = nullptr);
    ~CDownloaderDlg() override;

    // Runs the dialog modally: OnInitDialog, then the event loop until it is ended.
    int DoModal();

    // --- start-up and main dialog ---
    bool OnInitDialog();
    void OnSysCommand(UINT nId);
    void OnCancel();
    void OnOK();
    void OnDestroy();

    // --- status log ---
    void LogLine(const std::string& text);
    void ShowActivity();
    void ShowNotice(const std::string& text);
    void ShowMessageBox(const std::string& text);

    // --- update workflow ---
    void OnDetect();
    void OnPortDropDown();
    void ConnectSelectedPort();
    void OnOpenLocalFile();
    void StartProgramming();

    // --- web service ---
    void OnGetFromWeb();
    void SetWebBaseUrl(const std::string& url) { m_engine.SetWebBaseUrl(url); }
    // A service address from the command line; checked and applied at start-up, after the
    // "FIRMWARE SERVICE" setting.
    void SetServiceOverride(const std::string& url) { m_strServiceOverride = url; }
    // Firmware Service…: the user sets (and may test) the service's address, which is saved.
    void OnFirmwareService();
    // Check This Computer…: the computer check (kestova-flash --doctor) with this window's
    // settings file, support log and service.
    void OnCheckComputer();
    // Saves `url` (already checked; empty: none) as the service's address and uses it.
    void SetFirmwareService(const std::string& url);

    // --- a programming file given at start ---
    // Opened as Open Local File once a unit is identified; set before OnInitDialog.
    void SetStartFile(const std::string& path) { m_strStartFile = path; }
    void OpenFirmwareFile(const std::string& path, const EngineTicket& ticket);

    // --- plugging and unplugging ---
    // The source of device events the window follows (tests feed their own); by default the
    // system's. Set before OnInitDialog.
    void SetHotplugSource(std::unique_ptr<IUeventSource> source);
    void OnPortPlugged(const std::string& name, bool bAppeared);

    // --- support log ---
    // The log that status lines and notices are copied to (owned by the caller; may be none).
    // A log file that cannot be written is said once, in the status list and on stderr.
    void SetSupportLog(CSupportLog* pLog);
    CSupportLog* SupportLog() const { return m_pSupportLog; }
    void OnSaveSupportLog();

    // --- the history of updates ---
    // Where the window's programming runs are recorded (owned by the caller, outliving the
    // window; none: nowhere). A history that cannot be written is said once in the list.
    void SetUpdateHistory(CUpdateHistory* pHistory);
    // Update History…: the recorded updates, newest first.
    void OnUpdateHistory();
    // Several Units…: the service bench over this window; the window's link is let go while
    // it is open and taken up again when it closes.
    void OnSeveralUnits();

    // --- ending while an update may run ---
    // The program's exit status: 0, 128 + the signal that stopped it, or EXIT_CLOSED_MID_UPDATE.
    static constexpr int EXIT_SIGNAL_BASE = 128;
    static constexpr int EXIT_CLOSED_MID_UPDATE = 130;
    // Stop signals to follow (owned by the caller; none: the signals are not the window's).
    void SetStopSignals(CSignalPipe* pSignals);
    // Ends the program: a running update first stops after the line in flight; a second request
    // while it stops ends at once. Said in the status list and the support log.
    void RequestStop(int nExitStatus, const std::string& why);
    int ExitStatus() const { return m_nExitStatus; }
    bool IsStopping() const { return m_bStopping; }
    bool IsEnded() const { return m_bEnded; }

    // --- a second start of the program ---
    // Comes to the front; `path` (may be empty) is opened as Open Local File once the unit is
    // identified.
    void OnSecondStart(const std::string& path);

    // --- what the engine reports ---
    void OnStatusRow(const std::string& text) override { LogLine(text); }
    void OnStatusCleared() override;
    void OnActivity() override { ShowActivity(); }
    void OnWebStatus(const std::string& text, bool bNewLine) override;
    void OnChanged(const EngineSnapshot& snapshot) override;
    void OnLinkOpened(const std::string& name, bool bRemember) override;
    void OnLinkDropped(const LinkError& error, bool bForget) override;
    void OnDiagnosis(const std::string& sentence) override;
    void OnUnitIdentified(const DeviceIdentity& identity) override;
    void OnImageReady(const EngineSnapshot::Image& image) override;
    void OnImageRefused(ImageRefusal why, const std::string& text) override;
    void OnRunStarted(int nTotalLines) override;
    void OnProgress(const RunProgress& progress) override;
    void OnRunSucceeded(const std::vector<std::string>& lines) override;
    void OnRunEnded(const UpdateOutcome& outcome) override;
    void OnNotice(const EngineNotice& notice) override;
    // The port the list shows as chosen; empty when none is.
    std::string SelectedPort() const;

    // The settings file's name beside the executable.
    static constexpr const char* SETTINGS_FILE_NAME = "/Kestova.ini";
    static constexpr const char* SETTINGS_SECTION = "Settings";
    static constexpr const char* KEY_COM_PORT = "COM PORT";
    static constexpr const char* KEY_LAST_DIRECTORY = "LAST DIRECTORY";
    static constexpr const char* KEY_FIRMWARE_SERVICE = "FIRMWARE SERVICE";
    static constexpr const char* USB_PORT_NAME = CUpdateEngine::USB_PORT_NAME;

    // Where the executable's directory is taken from; tests may place the settings elsewhere.
    void SetProgramDirOverride(const std::string& dir) { m_strProgramDirOverride = dir; }

    // The engine that runs the conversation.
    CUpdateEngine& Engine() { return m_engine; }
    const CUpdateEngine& Engine() const { return m_engine; }

    std::vector<std::string> m_portNames;
    QPushButton* m_btnGetFromWeb = nullptr;
    QPushButton* m_btnDetect = nullptr;
    QProgressBar* m_progress = nullptr;
    // Lets the progress bar paint again at most once per screen refresh.
    CScreenRatePacer* m_pProgressPacer = nullptr;
    // Passes the run's progress on to the bar at whole percents, a few times a second.
    CProgressPacer* m_pProgressPace = nullptr;
    QPushButton* m_btnSend = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_btnOpenFile = nullptr;
    CPortCombo* m_comboPort = nullptr;
    QIcon m_hSmallIcon;
    int m_nDots = 0; // the step of the activity line shown next
    std::string m_strFirmwarePath;
    std::string m_strLastDirectory;
    std::string m_strPortName;
    CNoticeDlg m_noticeDlg;
    CPromptDlg m_promptDlg;
    CIniFile m_ini;
    std::string m_strProgramDir;

protected:
    void contextMenuEvent(QContextMenuEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override { OnCancel(); }
    void accept() override { OnOK(); }

private:
    // The window's native window is watched for its end once it is shown.
    void WatchPlatformWindow();
    std::unique_ptr<CNativeWindowWatch> m_pNativeWatch;
    CUpdateEngine m_engine;

    void CreateControls();
    void BuildSystemMenu();
    void FillPortListAndOpenSaved();
    void AddPortEntry(const std::string& name);
    std::string LastingPortName(const std::string& name) const;
    std::string ResolveSavedPort(const std::string& saved) const;
    void StartHotplugMonitor();
    bool IsActivePort(const std::string& name) const;
    void OnPortUnplugged(const std::string& name);
    void EnumeratePortsIntoList();
    void ForgetPort();
    void CloseLinkForDetect();
    std::string FindPluggedCable(const std::vector<std::string>& earlier);
    // The one port that was plugged in during Detect, or that is new in `later`; else empty.
    std::string NewPortName(const std::vector<std::string>& earlier,
                            const std::vector<std::string>& later) const;
    // The one port of `names` that describes itself as the Tetherix; empty for none or several.
    std::string OnlyTetherixPort(const std::vector<std::string>& names) const;
    void SetImageButtons(bool bOpenFile, bool bGetFromWeb, bool bSend);
    QWidget* ControlWidget(WindowControl control) const;
    // The controls follow the engine's snapshot.
    void ApplyControls(const WindowControls& controls);
    void EndDialog(int result);
    std::string ComputeProgramDir() const;
    std::string ChooseSettingsFile();
    void OnSettingsWriteFailed(const std::string& path);
    void ApplyServiceAddress();
    SupportFacts GatherSupportFacts() const;
    void StartFirstRunDefaults();
    void OpenStartFileWhenIdentified();
    // The controls' places at the default size; a larger window moves and stretches them.
    void NoteDefaultLayout();
    void LayOutControls();

    struct PlacedControl {
        QWidget* pWidget;
        QRect defaultRect;
    };
    std::vector<PlacedControl> m_placedControls;
    QSize m_defaultSize;
    std::string m_strStartFile;

    // --- ending while an update may run (DownloaderDlgStop.cpp) ---
    void StartSleepInhibitor();
    void HoldOffSleep(bool bHold);
    bool IsUpdateRunning() const;
    bool IsPlatformWindowGone() const;
    void OnStopSignals();
    void StopAtOnce(const std::string& why);
    void OnStoppedRunEnded(const std::string& text);
    void FinishStop();
    CSignalPipe* m_pStopSignals = nullptr;
    QSocketNotifier* m_pStopNotifier = nullptr;
    std::unique_ptr<CSleepInhibitor> m_pInhibitor;
    bool m_bStopping = false;
    class QEventLoop* m_pEndLoop = nullptr; // runs the stop after the window went away
    int m_nExitStatus = 0;

    void OnPortChosenWhileClosed();
    void ReturnFocus(QWidget* pFocusBefore);
    void Announce(const std::string& sentence);
    void ShowProgressText();
    void ShowProgress(int nValue);

    // Milestones of an update, said to a screen reader without moving the focus
    // (DownloaderDlgMilestones.cpp). Said once the window shows when it does not yet.
    void TellMilestone(const std::string& sentence);
    void TellPendingMilestones();
    std::vector<std::string> m_pendingMilestones;
    WindowControl m_focusFollowed = WindowControl::None; // the focus the controls last asked for
    EnginePhase m_shownPhase = EnginePhase::Connecting;
    bool m_bInNotes = false;            // the line logged last was a piece of release notes
    bool m_bTellingPort = false;        // a port chosen by the user is being opened
    std::string m_strPortOutcome;       // what became of it

    QMenu* m_sysMenu = nullptr;
    // Rows that are replaced later: the running web request's text and the activity line.
    QPersistentModelIndex m_webRow;
    QPersistentModelIndex m_activityRow;
    CAnnouncer* m_pAnnouncer = nullptr; // how the end of an update is said to a screen reader
    std::unique_ptr<IUeventSource> m_pHotplugSource;
    CHotplugMonitor* m_pHotplug = nullptr;
    std::string m_strAwaitedPort;  // the lasting name of the chosen cable, unplugged
    std::string m_strLinkPort;        // the port last opened as the link ("ttyUSB0", "USB")
    std::string m_strLinkLastingName; // its lasting name, taken when it was opened
    TetherixDevices m_tetherixDevices; // the cable's USB devices when the USB link opened
    bool m_bDetecting = false;
    std::vector<std::string> m_portsPluggedDuringDetect;
    bool m_bEnded = false;
    std::string m_strProgramDirOverride;
    std::string m_strServiceOverride;
    CSupportLog* m_pSupportLog = nullptr;
    CUpdateHistory* m_pHistory = nullptr;
    bool m_bSettingsFailureShown = false;
};
