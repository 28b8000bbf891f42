// The service bench: many units at once in one window, one channel and one row per port, none
// holding another up. One image for every unit (a file, or each unit's own from the firmware
// service), Update All or a start as each unit is identified, Stop per row and Stop All, a
// summary, the history and a CSV export. Sleep is held off while any channel writes; a stop
// signal, closing or a destroyed window stop every run after its line in flight.
#pragma once

#include "app/bench/BenchChannel.h"
#include "app/bench/BenchPolicy.h"
#include "link/TetherixDevices.h"
#include "link/UeventSource.h"

#include <QDialog>
#include <QTimer>

#include <deque>
#include <memory>
#include <string>
#include <vector>

class CAnnouncer;
class CBenchTableModel;
class CNativeWindowWatch;
class CHotplugMonitor;
class CSignalPipe;
class CSleepInhibitor;
class QCheckBox;
class QLabel;
class QPushButton;
class QSocketNotifier;
class QTableView;

class CBenchWindow : public QDialog, private IBenchChannelListener {
public:
    static constexpr int EXIT_SIGNAL_BASE = 128;
    static constexpr int EXIT_CLOSED_MID_UPDATE = 130;
    // Milestones are told one at a time, at most this often (each raises two accessibility
    // events), so that eight channels sending stay well within what a screen reader can say.
    static constexpr int ANNOUNCE_INTERVAL_MS = 250;

    explicit CBenchWindow(QWidget* parent = nullptr);
    ~CBenchWindow() override;

    // --- set up before it opens ---
    void SetSupportLog(CSupportLog* pLog) { m_pLog = pLog; }
    void SetUpdateHistory(CUpdateHistory* pHistory) { m_pHistory = pHistory; }
    void SetServiceAddress(const std::string& url) { m_policy.strService = url; }
    void SetStopSignals(CSignalPipe* pSignals);
    // Tests feed device events of their own.
    void SetHotplugSource(std::unique_ptr<IUeventSource> source)
    {
        m_pHotplugSource = std::move(source);
    }

    // --- channels ---
    // Every Tetherix serial port, and the USB cable when its library is there; then follows
    // plugging and unplugging.
    void DiscoverChannels();
    // A port as kestova-flash -p names it ("ttyUSB0", "/dev/ttyUSB0", "pts/3", "USB").
    void AddChannel(const std::string& name);
    void StartHotplug();
    int ChannelCount() const { return static_cast<int>(m_channels.size()); }
    const CBenchRow& RowAt(int nRow) const
    {
        return m_channels[static_cast<std::size_t>(nRow)]->Row();
    }

    // --- the image and starting ---
    void SetImageFile(const std::string& path);
    void UseWebImages();
    void SetAutoStart(bool bAuto);
    void SetAlsoCurrent(bool bAlso);
    // Starts every unit that may start; how many started.
    int UpdateAll();
    void StopRow(int nRow);
    void StopAll();
    // The session's rows as CSV; false when the file cannot be written.
    bool ExportCsv(const std::string& path) const;
    std::string SummaryText() const;
    // The milestones told so far, in order (for the support log and tests).
    const std::vector<std::string>& ToldMilestones() const { return m_told; }

    // Another start of the program handed over a file: it becomes the bench's image.
    void OnSecondStart(const std::string& path);
    // How the program ends once the bench, as its window, has closed: 0, 128 + a stop signal,
    // or EXIT_CLOSED_MID_UPDATE.
    int ExitStatus() const { return m_nExitStatus; }
    // Stops every run after its line in flight, then closes with `nExitStatus`.
    void RequestStop(int nExitStatus, const std::string& why);

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // --- IBenchChannelListener ---
    void OnChannelChanged(CBenchChannel& channel, bool bMilestone) override;
    void OnChannelWriting(CBenchChannel& channel) override;

    void BuildControls();
    QPushButton* Button(const QString& text, const QKeySequence& key);
    void OnOpenFile();
    void OnAddPort();
    void OnExport();
    void OnPortPlugged(const std::string& name, bool bAppeared);
    CBenchChannel* FindChannel(const std::string& openName, const std::string& lastingName);
    void AddChannelNamed(const std::string& openName);
    void ImageChanged();
    void ShowImage();
    void UpdateControls();
    void AnnounceNext();
    void OnStopSignals();
    bool IsAnyWriting() const;
    void FinishStop();
    int IndexOf(const CBenchChannel& channel) const;

    BenchPolicy m_policy;
    std::vector<std::unique_ptr<CBenchChannel>> m_channels;
    CSupportLog* m_pLog = nullptr;
    CUpdateHistory* m_pHistory = nullptr;
    CSignalPipe* m_pSignals = nullptr;
    QSocketNotifier* m_pSignalNotifier = nullptr;
    std::unique_ptr<IUeventSource> m_pHotplugSource;
    CHotplugMonitor* m_pHotplug = nullptr;
    TetherixDevices m_tetherixDevices;
    std::unique_ptr<CSleepInhibitor> m_pInhibitor;
    // Hears of the native window destroyed by another program: every run stops as on SIGTERM.
    std::unique_ptr<CNativeWindowWatch> m_pNativeWatch;

    CBenchTableModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_image = nullptr;
    QLabel* m_notes = nullptr;
    QLabel* m_summary = nullptr;
    QCheckBox* m_autoStart = nullptr;
    QCheckBox* m_alsoCurrent = nullptr;
    QPushButton* m_updateAll = nullptr;
    QPushButton* m_stopAll = nullptr;
    CAnnouncer* m_pAnnouncer = nullptr;
    std::deque<std::string> m_toTell;
    std::vector<std::string> m_told;
    QTimer m_announce;
    QTimer m_controls;

    bool m_bStopping = false;
    bool m_bEnded = false;
    int m_nExitStatus = 0;
};
