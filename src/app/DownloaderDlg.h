// The main window of the downloader: it owns the settings and an update engine, which holds the
// link, the firmware image and the unit's identity; the window renders what the engine reports
// and forwards the user's actions to it. Every handler runs on the user-interface thread.
#pragma once

#include "app/MilestoneAnnouncer.h"
#include "app/PortChooser.h"
#include "app/SettingsStore.h"
#include "app/StopController.h"
#include "app/WindowControls.h"
#include "app/WindowMenu.h"
#include "device/UpdateEngine.h"
#include "dialogs/NoticeDlg.h"

#include <QDialog>
#include <QPersistentModelIndex>
#include <QPointer>

#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class CDialogUnits;
class CPortCombo;
class CSupportLog;
class CScreenRatePacer;
class CProgressPacer;
class CUpdateHistory;

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
    friend class CWindowPage; // how tests and benchmarks drive the window

public:
    explicit CDownloaderDlg(QWidget* parent = nullptr);
    ~CDownloaderDlg() override;

    // Runs the dialog modally: OnInitDialog, then the event loop until it is ended.
    int DoModal();

    // --- start-up and main dialog ---
    bool OnInitDialog();
    void OnCancel();
    void OnDestroy();

    // --- status log ---
    void LogLine(const std::string& text);
    void ShowActivity();
    void ShowNotice(const std::string& text);
    void ShowMessageBox(const std::string& text);

    // --- update workflow ---
    void ConnectSelectedPort();
    void OnOpenLocalFile();
    void StartProgramming();

    // --- web service ---
    void OnGetFromWeb();
    void SetWebBaseUrl(const std::string& url) { m_engine.SetWebBaseUrl(url); }
    // A service address from the command line; checked and applied at start-up, after the
    // "FIRMWARE SERVICE" setting.
    void SetServiceOverride(const std::string& url) { m_strServiceOverride = url; }

    // --- a programming file given at start ---
    // Opened as Open Local File once a unit is identified; set before OnInitDialog.
    void SetStartFile(const std::string& path) { m_strStartFile = path; }
    void OpenFirmwareFile(const std::string& path, const EngineTicket& ticket);

    // --- support log ---
    // The log that status lines and notices are copied to (owned by the caller; may be none).
    // A log file that cannot be written is said once, in the status list and on stderr.
    void SetSupportLog(CSupportLog* pLog);
    CSupportLog* SupportLog() const { return m_pSupportLog; }
    // The log's failure: in the list, beside it for the rest of the session, and on stderr.
    void OnSupportLogFailed(const std::string& why);

    // --- the history of updates ---
    // Where the window's programming runs are recorded (owned by the caller, outliving the
    // window; none: nowhere). A history that cannot be written is said once in the list.
    void SetUpdateHistory(CUpdateHistory* pHistory);
    // Several Units…: the service bench over this window; the window's link is let go while
    // it is open and taken up again when it closes.
    void OnSeveralUnits();

    // --- ending while an update may run ---
    // Stop signals, closing, a destroyed window or a lost display: how the program ends.
    CStopController& Stop() { return m_stop; }
    int ExitStatus() const { return m_stop.ExitStatus(); }
    bool IsEnded() const { return m_stop.IsEnded(); }

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

    static constexpr const char* USB_PORT_NAME = CUpdateEngine::USB_PORT_NAME;

    // Where the executable's directory is taken from; tests may place the settings elsewhere.
    void SetProgramDirOverride(const std::string& dir) { m_settings.SetProgramDirOverride(dir); }

    // The engine that runs the conversation.
    CUpdateEngine& Engine() { return m_engine; }
    const CUpdateEngine& Engine() const { return m_engine; }

protected:
    void contextMenuEvent(QContextMenuEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void reject() override { OnCancel(); }
    // Enter with no button focused: ending the program here could cut an update short without
    // a word, so it takes the same confirmed way out as Exit.
    void accept() override { OnCancel(); }

private:
    QPushButton* m_btnGetFromWeb = nullptr;
    QPushButton* m_btnDetect = nullptr;
    QProgressBar* m_progress = nullptr;
    // Lets the progress bar paint again at most once per screen refresh.
    CScreenRatePacer* m_pProgressPacer = nullptr;
    // Passes the run's progress on to the bar at whole percents, a few times a second.
    CProgressPacer* m_pProgressPace = nullptr;
    QPushButton* m_btnSend = nullptr;
    QListWidget* m_list = nullptr;
    QLabel* m_logFailure = nullptr; // the support log's failure, beside the list once it fails
    QPushButton* m_btnOpenFile = nullptr;
    CPortCombo* m_comboPort = nullptr;
    QIcon m_hSmallIcon;
    int m_nDots = 0; // the step of the activity line shown next
    std::string m_strFirmwarePath;
    CNoticeDlg m_noticeDlg;
    CSettingsStore m_settings;
    std::unique_ptr<CMilestoneAnnouncer> m_pMilestones; // made after the controls
    CUpdateEngine m_engine;
    CStopController m_stop;
    std::unique_ptr<CPortChooser> m_pPorts; // made with the port list

    void CreateControls();
    void SetImageButtons(bool bOpenFile, bool bGetFromWeb, bool bSend);
    QWidget* ControlWidget(WindowControl control) const;
    void MoveFocus(QWidget* widget);
    void ShowNoticeDialog(const std::string& text);
    // The controls follow the engine's snapshot.
    void ApplyControls(const WindowControls& controls);
    void ApplyServiceAddress();
    void OpenStartFileWhenIdentified();
    void LayOutControls(const CDialogUnits& du);
    std::string m_strStartFile;

    void ReturnFocus(QWidget* pFocusBefore);
    void ShowProgressText();
    void ShowProgress(int nValue);

    WindowControl m_focusFollowed = WindowControl::None; // the focus the controls last asked for
    QPointer<QWidget> m_pFocusAfterNotice; // where the focus goes once the open notice has gone
    EnginePhase m_shownPhase = EnginePhase::Connecting;
    bool m_bInNotes = false;            // the line logged last was a piece of release notes

    CWindowMenu* m_pMenu = nullptr;
    // Rows that are replaced later: the running web request's text and the activity line.
    QPersistentModelIndex m_webRow;
    QPersistentModelIndex m_activityRow;
    std::string m_strServiceOverride;
    CSupportLog* m_pSupportLog = nullptr;
    CUpdateHistory* m_pHistory = nullptr;
};
