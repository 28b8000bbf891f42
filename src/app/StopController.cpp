#include "app/StopController.h"

#include "app/NativeWindowWatch.h"
#include "device/UpdateEngine.h"
#include "device/UpdateHold.h"
#include "device/UpdateRecord.h"
#include "platform/SignalPipe.h"
#include "platform/SleepInhibitor.h"
#include "platform/SupportLog.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QPlatformSurfaceEvent>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
// The window whose program ends when the display goes, and the message handler it displaced.
CStopController* g_pActive = nullptr;
QtMessageHandler g_previousHandler = nullptr;
} // namespace

CStopController::CStopController(QDialog& window, CUpdateEngine& engine,
                                 std::function<void(const std::string&)> fnSay,
                                 std::function<void()> fnEnd)
    : QObject(&window), m_window(window), m_engine(engine), m_fnSay(std::move(fnSay)),
      m_fnEnd(std::move(fnEnd))
{
    // Qt's X11 connection says that it broke, then ends the process with exit(1) without a
    // return to the event loop; the message is the last moment the window has.
    if (g_pActive == nullptr)
        g_previousHandler = qInstallMessageHandler(&CStopController::OnQtMessage);
    g_pActive = this;
}

CStopController::~CStopController()
{
    if (g_pActive == this) {
        g_pActive = nullptr;
        qInstallMessageHandler(g_previousHandler);
    }
    m_pInhibitor.reset();
}

void CStopController::SetStopSignals(CSignalPipe* pSignals)
{
    m_pStopSignals = pSignals;
    delete m_pStopNotifier;
    m_pStopNotifier = nullptr;
    if (pSignals == nullptr || !pSignals->IsOpen())
        return;
    m_pStopNotifier = new QSocketNotifier(pSignals->ReadFd(), QSocketNotifier::Read, this);
    connect(m_pStopNotifier, &QSocketNotifier::activated, this, [this] { OnStopSignals(); });
}

void CStopController::LendStopSignals(bool bLent)
{
    if (m_pStopNotifier != nullptr)
        m_pStopNotifier->setEnabled(!bLent);
}

void CStopController::StartSleepInhibitor()
{
    // A desktop session has a session bus, where the portal may also hold off logging out.
    const bool bDesktop = std::getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr;
    m_pInhibitor = std::make_unique<CSleepInhibitor>(m_pSupportLog, bDesktop);
}

void CStopController::HoldOffSleep(bool bHold)
{
    if (m_pInhibitor)
        m_pInhibitor->SetHeld(bHold, HoldReason(m_engine.Identity()));
}

void CStopController::OnPhase(const EngineSnapshot& snapshot)
{
    HoldOffSleep(HoldsOffSleep(snapshot.phase));
    // Stopping with every line acknowledged: the finish has gone out, and the program ends.
    if (m_bStopping && snapshot.phase == EnginePhase::Finished)
        OnRunEnded("Stopped after all " + std::to_string(snapshot.image.nLines) +
                   " lines were sent and the " + snapshot.unit.m_strModel +
                   " was told to finish; its new version was not checked.");
}

bool CStopController::OnRunEnded(const std::string& text)
{
    HoldOffSleep(false);
    if (!m_bStopping)
        return false;
    m_fnSay(text);
    QTimer::singleShot(0, this, [this] { FinishStop(); });
    return true;
}

bool CStopController::IsUpdateRunning() const
{
    return m_engine.State() == EngineState::Programming ||
           m_engine.State() == EngineState::FinishPause;
}

bool CStopController::IsWindowGone() const
{
    const QWindow* window = m_window.windowHandle();
    return window == nullptr || window->handle() == nullptr || window->winId() == 0;
}

// The platform window exists once the window is shown; its end is watched from then on, both
// as Qt reports it and as X11 does when another program destroys it.
void CStopController::WatchWindow()
{
    if (QWindow* window = m_window.windowHandle())
        window->installEventFilter(this);
    if (m_pNativeWatch)
        return;
    m_pNativeWatch = std::make_unique<CNativeWindowWatch>([this](unsigned long windowId) {
        const QWindow* window = m_window.windowHandle();
        // Qt's own end of a native window (no handle left) or of another window is not it.
        if (m_bEnded || window == nullptr || window->handle() == nullptr ||
            window->winId() != windowId)
            return;
        QTimer::singleShot(0, this, [this] {
            RequestStop(EXIT_SIGNAL_BASE + SIGTERM, "the window was destroyed");
        });
    });
}

bool CStopController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window.windowHandle() && event->type() == QEvent::PlatformSurface &&
        static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
            QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed &&
        !m_bEnded) {
        // Recreated at once (new window flags) is no end; gone for good is like SIGTERM.
        QTimer::singleShot(0, this, [this] {
            if (!m_bEnded && IsWindowGone())
                RequestStop(EXIT_SIGNAL_BASE + SIGTERM, "the window was destroyed");
        });
    }
    return QObject::eventFilter(watched, event);
}

void CStopController::EndAfterWindowWentAway()
{
    if (m_bEnded)
        return;
    QEventLoop endLoop;
    m_pEndLoop = &endLoop;
    RequestStop(EXIT_SIGNAL_BASE + SIGTERM, "the window went away");
    if (!m_bEnded)
        endLoop.exec();
    m_pEndLoop = nullptr;
}

void CStopController::OnStopSignals()
{
    int sig = 0;
    const int count = m_pStopSignals != nullptr ? m_pStopSignals->TakeSignals(&sig) : 0;
    for (int i = 0; i < count && i < 2 && !m_bEnded; ++i)
        RequestStop(EXIT_SIGNAL_BASE + sig, std::string(SignalName(sig)) + " was received");
}

void CStopController::RequestStop(int nExitStatus, const std::string& why)
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
    // Programming: the run ends after the line in flight (OnRunEnded). Every line already
    // acknowledged: the finish goes out after its short pause (OnPhase).
    m_fnSay("Stopping the update after the line in flight: " + why + ".");
    m_engine.InterruptProgramming();
}

std::string CStopController::StoppedAtOnceText() const
{
    const std::string& model = m_engine.Identity().m_strModel;
    const EngineSnapshot::Progress progress = m_engine.Snapshot().progress;
    return ::StoppedAtOnceText(model.empty() ? "unit" : model, progress.nSent, progress.nTotal);
}

void CStopController::StopAtOnce(const std::string& why)
{
    if (m_pSupportLog != nullptr)
        m_pSupportLog->Note("Stop requested again: " + why + ".");
    m_fnSay(StoppedAtOnceText());
    m_engine.Shutdown();
    FinishStop();
}

void CStopController::FinishStop()
{
    if (m_bEnded)
        return;
    HoldOffSleep(false);
    NoteEnd();
    // A question, notice or file dialog open over the window goes with it.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog != nullptr && dialog != &m_window && dialog->isVisible())
            dialog->reject();
    }
    End();
}

void CStopController::NoteEnd()
{
    if (m_pSupportLog == nullptr)
        return;
    m_pSupportLog->Note("The program ends with status " + std::to_string(m_nExitStatus) + ".");
    m_pSupportLog->Flush();
}

void CStopController::End()
{
    m_bEnded = true;
    m_fnEnd();
    if (m_pEndLoop != nullptr)
        m_pEndLoop->quit();
}

// The display is gone: nothing can be shown or waited for any more, and Qt ends the process as
// soon as this returns. A running update stops at once and is recorded as far as it got; the
// cable, the inhibitor and the socket are let go, and the program ends as SIGTERM ends it.
void CStopController::OnDisplayLost()
{
    m_bEnded = true;
    m_nExitStatus = EXIT_SIGNAL_BASE + SIGTERM;
    const bool bRunning = IsUpdateRunning() || m_bStopping;
    const std::string why = "the display was lost";
    if (m_pSupportLog != nullptr)
        m_pSupportLog->Note(bRunning ? "Ending: " + why + ". " + StoppedAtOnceText() : "Ending: " + why + ".");
    m_engine.Shutdown();
    m_pInhibitor.reset();
    if (m_fnRelease)
        m_fnRelease();
    NoteEnd();
    std::fflush(nullptr);
    _exit(m_nExitStatus);
}

void CStopController::OnQtMessage(QtMsgType type, const QMessageLogContext& context,
                                  const QString& text)
{
    if (g_previousHandler != nullptr)
        g_previousHandler(type, context, text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    CStopController* pActive = g_pActive;
    if (pActive != nullptr && !pActive->m_bEnded &&
        text.startsWith(QLatin1String("The X11 connection broke")) &&
        QThread::currentThread() == pActive->thread())
        pActive->OnDisplayLost();
}
