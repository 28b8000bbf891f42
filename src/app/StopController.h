// How the window ends while an update may run: a stop signal, a confirmed close, a window
// destroyed under it or a display that went away. A running update stops after the line in
// flight (a second request while it stops, or a lost display, ends at once), says how far it
// got, and the program ends with a status that tells the caller it was stopped. Sleep and
// shutdown are held off while lines go.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <string>

class CNativeWindowWatch;
class CSignalPipe;
class CSleepInhibitor;
class CSupportLog;
class CUpdateEngine;
struct EngineSnapshot;
class QDialog;
class QEventLoop;
class QSocketNotifier;

class CStopController : public QObject {
    Q_OBJECT

public:
    // The program's exit status: 0, 128 + the signal that stopped it, or EXIT_CLOSED_MID_UPDATE.
    static constexpr int EXIT_SIGNAL_BASE = 128;
    static constexpr int EXIT_CLOSED_MID_UPDATE = 130;

    // fnSay shows a sentence in the status list (and the support log); fnEnd closes the window.
    CStopController(QDialog& window, CUpdateEngine& engine,
                    std::function<void(const std::string&)> fnSay, std::function<void()> fnEnd);
    ~CStopController() override;

    // Stop signals to follow (owned by the caller; none: the signals are not the window's).
    void SetStopSignals(CSignalPipe* pSignals);
    CSignalPipe* StopSignals() const { return m_pStopSignals; }
    // Another window (the service bench) follows the stop signals while it is open.
    void LendStopSignals(bool bLent);
    void SetSupportLog(CSupportLog* pLog) { m_pSupportLog = pLog; }
    // What is held outside the window (the single-instance socket), let go when the display is
    // lost and the program ends where it stands.
    void SetReleaseOnLostDisplay(std::function<void()> fnRelease)
    {
        m_fnRelease = std::move(fnRelease);
    }
    void StartSleepInhibitor();
    // Follows the engine's phase: sleep is held off while lines go.
    void OnPhase(const EngineSnapshot& snapshot);
    // A run ended; true when it ended because of a stop (the program then ends).
    bool OnRunEnded(const std::string& text);

    // Ends the program: a running update first stops after the line in flight; a second request
    // while it stops ends at once. Said in the status list and the support log.
    void RequestStop(int nExitStatus, const std::string& why);
    // The window went away under the program: it ends as on SIGTERM, never running on unseen.
    void EndAfterWindowWentAway();
    // The window has shown: its native window is watched for its end from now on.
    void WatchWindow();
    // The window ends now (no update runs, or it has stopped).
    void End();

    int ExitStatus() const { return m_nExitStatus; }
    bool IsStopping() const { return m_bStopping; }
    bool IsEnded() const { return m_bEnded; }
    bool IsUpdateRunning() const;
    // On X11 a window destroyed by another program (xdotool windowclose) arrives as a close
    // request of a platform window that has no native window any more.
    bool IsWindowGone() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnStopSignals();
    void StopAtOnce(const std::string& why);
    void FinishStop();
    void NoteEnd();
    void HoldOffSleep(bool bHold);
    std::string StoppedAtOnceText() const;
    void OnDisplayLost();
    static void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text);

    QDialog& m_window;
    CUpdateEngine& m_engine;
    std::function<void(const std::string&)> m_fnSay;
    std::function<void()> m_fnEnd;
    std::function<void()> m_fnRelease;
    CSignalPipe* m_pStopSignals = nullptr;
    QSocketNotifier* m_pStopNotifier = nullptr;
    CSupportLog* m_pSupportLog = nullptr;
    std::unique_ptr<CSleepInhibitor> m_pInhibitor;
    std::unique_ptr<CNativeWindowWatch> m_pNativeWatch;
    QEventLoop* m_pEndLoop = nullptr; // runs the stop after the window went away
    int m_nExitStatus = 0;
    bool m_bStopping = false;
    bool m_bEnded = false;
};
