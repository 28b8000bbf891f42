// How the window ends while an update may run: a stop signal, a confirmed close or a window that
// was destroyed under it stop the update after the line in flight, say how far it got, flush
// the support log and end the program with a status that tells the caller it was stopped. A
// second request while stopping ends at once. Sleep and shutdown are held off while lines go.
#include "app/DownloaderDlg.h"

#include "app/NativeWindowWatch.h"

#include "device/UpdateHold.h"
#include "platform/SignalPipe.h"
#include "platform/SleepInhibitor.h"
#include "platform/SupportLog.h"

#include <QApplication>
#include <QPlatformSurfaceEvent>
#include <QProgressBar>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <csignal>
#include <cstdlib>

void CDownloaderDlg::SetStopSignals(CSignalPipe* pSignals)
{
    m_pStopSignals = pSignals;
    delete m_pStopNotifier;
    m_pStopNotifier = nullptr;
    if (pSignals == nullptr || !pSignals->IsOpen())
        return;
    m_pStopNotifier = new QSocketNotifier(pSignals->ReadFd(), QSocketNotifier::Read, this);
    connect(m_pStopNotifier, &QSocketNotifier::activated, this, [this] { OnStopSignals(); });
}

void CDownloaderDlg::StartSleepInhibitor()
{
    // A desktop session has a session bus, where the portal may also hold off logging out.
    const bool bDesktop = std::getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr;
    m_pInhibitor = std::make_unique<CSleepInhibitor>(m_pSupportLog, bDesktop);
}

void CDownloaderDlg::HoldOffSleep(bool bHold)
{
    if (m_pInhibitor)
        m_pInhibitor->SetHeld(bHold, HoldReason(m_engine.Identity()));
}

// The platform window exists once the window is shown; its end is watched from then on, both
// as Qt reports it and as X11 does when another program destroys it.
void CDownloaderDlg::WatchPlatformWindow()
{
    if (QWindow* window = windowHandle())
        window->installEventFilter(this);
    if (!m_pNativeWatch)
        m_pNativeWatch = std::make_unique<CNativeWindowWatch>([this](unsigned long windowId) {
            const QWindow* window = windowHandle();
            // Qt's own end of a native window (no handle left) or of another window is not it.
            if (m_bEnded || window == nullptr || window->handle() == nullptr ||
                window->winId() != windowId)
                return;
            QTimer::singleShot(0, this, [this] {
                RequestStop(EXIT_SIGNAL_BASE + SIGTERM, "the window was destroyed");
            });
        });
}

bool CDownloaderDlg::IsUpdateRunning() const
{
    return m_engine.State() == EngineState::Programming || m_engine.State() == EngineState::FinishPause;
}

bool CDownloaderDlg::IsPlatformWindowGone() const
{
    // On X11 a window destroyed by another program (xdotool windowclose) arrives as a close
    // request of a platform window that has no native window any more.
    const QWindow* window = windowHandle();
    return window == nullptr || window->handle() == nullptr || window->winId() == 0;
}

bool CDownloaderDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == windowHandle() && event->type() == QEvent::PlatformSurface &&
        static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
            QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed && !m_bEnded) {
        // Recreated at once (new window flags) is no end; gone for good is like SIGTERM.
        QTimer::singleShot(0, this, [this] {
            if (!m_bEnded && IsPlatformWindowGone())
                RequestStop(EXIT_SIGNAL_BASE + SIGTERM, "the window was destroyed");
        });
    }
    return QDialog::eventFilter(watched, event);
}

void CDownloaderDlg::OnStopSignals()
{
    int sig = 0;
    const int count = m_pStopSignals != nullptr ? m_pStopSignals->TakeSignals(&sig) : 0;
    for (int i = 0; i < count && i < 2 && !m_bEnded; ++i)
        RequestStop(EXIT_SIGNAL_BASE + sig, std::string(SignalName(sig)) + " was received");
}

void CDownloaderDlg::RequestStop(int nExitStatus, const std::string& why)
{
    if (m_bEnded)
        return;
    m_nExitStatus = nExitStatus;
    if (m_bStopping) {
        StopAtOnce(why);
        return;
    }
    if (!IsUpdateRunning()) {
        if (m_pSupportLog != nullptr)
            m_pSupportLog->Note("Ending: " + why + ".");
        FinishStop();
        return;
    }
    m_bStopping = true;
    // Programming: the run ends after the line in flight (OnUpdateEnded). Every line already
    // acknowledged: the finish goes out after its short pause (OnPhase).
    LogLine("Stopping the update after the line in flight: " + why + ".");
    m_engine.InterruptProgramming();
}

void CDownloaderDlg::StopAtOnce(const std::string& why)
{
    const std::string model = m_engine.Identity().m_strModel.empty() ? "unit" : m_engine.Identity().m_strModel;
    const EngineSnapshot::Progress progress = m_engine.Snapshot().progress;
    LogLine("Stopped at once (" + why + ") after line " + std::to_string(progress.nSent) + " of " +
            std::to_string(progress.nTotal) + ". The " + model +
            " must be updated again before it is used.");
    m_engine.Shutdown();
    FinishStop();
}

void CDownloaderDlg::OnStoppedRunEnded(const std::string& text)
{
    LogLine(text);
    QTimer::singleShot(0, this, [this] { FinishStop(); });
}

void CDownloaderDlg::FinishStop()
{
    if (m_bEnded)
        return;
    HoldOffSleep(false);
    if (m_pSupportLog != nullptr) {
        m_pSupportLog->Note("The program ends with status " + std::to_string(m_nExitStatus) + ".");
        m_pSupportLog->Flush();
    }
    // A question, notice or file dialog open over the window goes with it.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog != nullptr && dialog != this && dialog->isVisible())
            dialog->reject();
    }
    EndDialog(IDCANCEL);
}
