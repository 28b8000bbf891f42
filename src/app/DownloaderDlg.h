// The main window of the downloader and the controller of the whole update: it owns the links,
// the settings, the firmware image and the unit's identity, and every handler runs here on the
// user-interface thread.
#pragma once

#include "app/IniFile.h"
#include "app/SupportReport.h"
#include "device/DeviceIdentity.h"
#include "device/FirmwareImage.h"
#include "dialogs/NoticeDlg.h"
#include "dialogs/PromptDlg.h"
#include "link/ComPortEnum.h"
#include "link/SerialWndObj.h"
#include "link/UsbCable.h"
#include "link/UsbCableOwner.h"
#include "platform/WindowMessage.h"
#include "platform/WinTypes.h"

#include <QBasicTimer>
#include <QDialog>

#include <fstream>
#include <map>
#include <string>
#include <vector>

class QComboBox;
class QListWidget;
class QProgressBar;
class QPushButton;
class QMenu;
class CPortCombo;
class CSupportLog;

// Where the conversation with the unit stands.
constexpr int PHASE_IDLE = 0;
constexpr int PHASE_CONNECTING = 1;
constexpr int PHASE_IDENTIFIED = 2;
constexpr int PHASE_PROGRAMMING = 4;
constexpr int PHASE_FINISHED = 5;

// The main dialog's window timers.
constexpr int TIMER_WAKE = 101;            // wake the bootloader while connecting
constexpr int TIMER_PROGRAM_REPLY = 102;   // no acknowledgement while programming
constexpr int TIMER_ECHO_REPLY = 104;      // echo reply time-out
constexpr int TIMER_ECHO_START = 105;      // start of the echo test
constexpr int TIMER_SILENCE = 106;         // the unit stopped talking
constexpr int WAKE_INTERVAL_MS = 1000;
constexpr int PROGRAM_REPLY_TIMEOUT_MS = 5000;
constexpr int ECHO_REPLY_TIMEOUT_MS = 1000;
constexpr int ECHO_START_DELAY_MS = 1000;
constexpr int SILENCE_TIMEOUT_MS = 500;

// Commands of the window's system menu.
constexpr UINT IDM_ABOUTBOX = 0x0010;
constexpr UINT IDM_ECHOTEST = 0x0020;
constexpr UINT IDM_SAVELOG = 0x0030;
constexpr UINT SC_CLOSE = 0xF060;

// Controls of the main dialog.
constexpr int IDC_DETECT = 1000;
constexpr int IDC_PORT = 1006;
constexpr int IDC_OPEN_FILE = 1007;
constexpr int IDC_STATUS_LIST = 1008;
constexpr int IDC_SEND = 1009;
constexpr int IDC_PROGRESS = 1011;
constexpr int IDC_GET_FROM_WEB = 1013;

extern QEvent::Type g_nSpecialChangeMsg;
class CDownloaderDlg;
extern CDownloaderDlg* g_pMainDlg;

class CDownloaderDlg : public QDialog, public CUsbCableOwner {
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
    void OnTimer(int nIdEvent);
    void SetTimer(int nIdEvent, int intervalMs);
    void KillTimer(int nIdEvent) override;
    bool IsTimerRunning(int nIdEvent) const;

    // --- status log ---
    void LogLine(const std::string& text);
    void ShowActivity();
    void ShowNotice(const std::string& text) override;
    void ShowMessageBox(const std::string& text) override;

    // --- update workflow ---
    void OnDetect();
    void OnPortDropDown();
    void ConnectSelectedPort();
    void OnOpenLocalFile();
    LPARAM OnSerialEvent(WPARAM wParam, LPARAM lParam);
    static bool AddPortName(void* context, const ComPortInfo& info);
    void ResetConnection();
    bool ReopenLink();
    void SendText(const std::string& text);

    // --- bootloader conversation ---
    void OnReceivedText(const std::string& text) override;
    void StartProgramming();
    void OnWakeTimer();
    void OnProgramReplyTimer();
    void OnSilenceTimer();

    // --- firmware image ---
    bool ValidateImage();

    // --- echo test ---
    void OnEchoText(const std::string& text) override;
    void OnEchoStartTimer();
    void OnEchoReplyTimer();
    void EndEchoTest(const std::string& outcome);

    // --- web service ---
    void OnGetFromWeb();
    void ReportUpdateDone();
    void SetWebBaseUrl(const std::string& url) { m_strWebBaseUrl = url; }
    // A service address from the command line; checked and applied at start-up, after the
    // "FIRMWARE SERVICE" setting.
    void SetServiceOverride(const std::string& url) { m_strServiceOverride = url; }

    // --- support log ---
    // The log that status lines and notices are copied to (owned by the caller; may be none).
    void SetSupportLog(CSupportLog* pLog) { m_pSupportLog = pLog; }
    CSupportLog* SupportLog() const { return m_pSupportLog; }
    void OnSaveSupportLog();

    // --- USB cable ---
    LPARAM OnCableData(WPARAM wParam, LPARAM lParam);
    QObject* NotifyWindow() override { return this; }
    bool IsUsbActive() const override { return m_bUsbActive; }
    void SetUsbActive(bool bActive) override { m_bUsbActive = bActive; }
    bool IsDropReceived() const override { return m_bDropReceived; }
    bool IsEchoMode() const override { return m_bEchoMode; }

    // The settings file's name beside the executable.
    static constexpr const char* SETTINGS_FILE_NAME = "/Kestova.ini";
    static constexpr const char* SETTINGS_SECTION = "Settings";
    static constexpr const char* KEY_COM_PORT = "COM PORT";
    static constexpr const char* KEY_LAST_DIRECTORY = "LAST DIRECTORY";
    static constexpr const char* USB_PORT_NAME = "USB";

    // Where the executable's directory is taken from; tests may place the settings elsewhere.
    void SetProgramDirOverride(const std::string& dir) { m_strProgramDirOverride = dir; }

    CSerialWndObj m_serial;
    std::vector<std::string> m_portNames;
    QPushButton* m_btnGetFromWeb = nullptr;
    QPushButton* m_btnDetect = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_btnSend = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_btnOpenFile = nullptr;
    CPortCombo* m_comboPort = nullptr;
    QIcon m_hSmallIcon;
    FirmwareImage m_image;
    DeviceIdentity m_identity;
    CUsbCable m_usb;
    bool m_bUsbActive = false;
    bool m_bDropReceived = false;
    int m_nDots = 0;
    std::ifstream m_firmwareFile;
    int m_nPhase = PHASE_CONNECTING;
    std::string m_strFirmwarePath;
    std::string m_strLastDirectory;
    std::string m_strPortName;
    std::string m_strReceived;
    CNoticeDlg m_noticeDlg;
    CPromptDlg m_promptDlg;
    CIniFile m_ini;
    bool m_bEchoMode = false;
    std::string m_strProgramDir;
    std::string m_strWebBaseUrl;

protected:
    bool event(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override { OnCancel(); }
    void accept() override { OnOK(); }

private:
    void CreateControls();
    void BuildSystemMenu();
    bool OpenComPort(const std::string& portName);
    void FillPortListAndOpenSaved();
    bool OpenUsbLink();
    void EnumeratePortsIntoList();
    void ForgetPort();
    void DropLinkChoice();
    void CloseLinkForDetect();
    std::string FindPluggedCable(const std::vector<std::string>& earlier);
    void EnterConnecting();
    void SetImageButtons(bool bOpenFile, bool bGetFromWeb, bool bSend);
    void EndDialog(int result);
    void Pause(int ms);
    std::string ComputeProgramDir() const;
    std::string ChooseSettingsFile();
    void OnSettingsWriteFailed(const std::string& path);
    void ApplyServiceAddress();
    SupportFacts GatherSupportFacts() const;
    void StartFirstRunDefaults();
    void ReadFirmwareFile();
    void DispatchReceived(const std::string& text);
    bool WriteWakeText(const char* text);
    void IdentifyUnit();
    void SendNextDataLine();
    void FinishProgramming();
    void KeepRecentReceived();

    std::map<int, QBasicTimer> m_timers;
    QMenu* m_sysMenu = nullptr;
    bool m_bEnded = false;
    std::string m_strProgramDirOverride;
    std::string m_strServiceOverride;
    CSupportLog* m_pSupportLog = nullptr;
    bool m_bSettingsFailureShown = false;
};
