// The engine's life, its timers, the link notifications it receives and the timed steps that
// hold the conversation without holding the thread.
#include "device/UpdateEngine.h"

#include "platform/ThreadHandoff.h"

#include "platform/WindowMessage.h"
#include "web/MultiWebRequest.h"

#include <QMetaObject>

#include <QTimerEvent>

CUpdateEngine::CUpdateEngine(IUpdateEvents& events, QObject* parent)
    : QObject(parent), m_usb(*this), m_events(events),
      m_webFactory([](IWebRequest::StatusFn fnStatus, IWebRequest::DoneFn fnDone) {
          return std::unique_ptr<IWebRequest>(
              std::make_unique<CMultiWebRequest>(std::move(fnStatus), std::move(fnDone)));
      })
{
}

CUpdateEngine::~CUpdateEngine()
{
    m_pWebRequest.reset();
    m_pWebRequestDone.reset();
    m_pReportRequest.reset();
    m_retiredRequests.clear();
    for (auto& [id, timer] : m_timers)
        timer.stop();
    CloseLink();
    m_usb.Close();
}

void CUpdateEngine::SetTimer(int nIdEvent, int intervalMs)
{
    m_timers[nIdEvent].start(intervalMs, this);
}

void CUpdateEngine::KillTimer(int nIdEvent)
{
    auto it = m_timers.find(nIdEvent);
    if (it != m_timers.end())
        it->second.stop();
}

bool CUpdateEngine::IsTimerRunning(int nIdEvent) const
{
    auto it = m_timers.find(nIdEvent);
    return it != m_timers.end() && it->second.isActive();
}

void CUpdateEngine::timerEvent(QTimerEvent* e)
{
    for (auto& [id, timer] : m_timers) {
        if (timer.timerId() == e->timerId()) {
            OnTimer(id);
            return;
        }
    }
    QObject::timerEvent(e);
}

void CUpdateEngine::OnTimer(int nIdEvent)
{
    switch (nIdEvent) {
    case TIMER_WAKE: OnWakeTimer(); break;
    case TIMER_PROGRAM_REPLY: OnProgramReplyTimer(); break;
    case TIMER_SILENCE: OnSilenceTimer(); break;
    case TIMER_ECHO_REPLY: OnEchoReplyTimer(); break;
    case TIMER_ECHO_START: OnEchoStartTimer(); break;
    case TIMER_REBOOT_WINDOW: KillTimer(TIMER_REBOOT_WINDOW); break; // the window has passed
    case TIMER_STEP: {
        KillTimer(TIMER_STEP);
        auto fnThen = std::move(m_fnStepThen);
        m_fnStepThen = nullptr;
        if (fnThen)
            fnThen();
        // What the unit said during the step is handled now, in the order it came.
        while (!m_fnStepThen && !m_heldText.empty()) {
            const std::string text = std::move(m_heldText.front());
            m_heldText.pop_front();
            DispatchReceived(text);
        }
        break;
    }
    default: break;
    }
}

void CUpdateEngine::BeginStep(int ms, std::function<void()> fnThen)
{
    m_fnStepThen = std::move(fnThen);
    SetTimer(TIMER_STEP, ms);
}

void CUpdateEngine::CancelStep()
{
    KillTimer(TIMER_STEP);
    m_fnStepThen = nullptr;
    m_heldText.clear();
}

bool CUpdateEngine::event(QEvent* e)
{
    // Before even its type is read: a port's watcher or the USB reader may have posted it.
    AcceptHandoffEvent(e);
    if (e->type() == CUsbCable::SpecialChangeMessage()) {
        if (const auto* message = AcceptWindowMessage(e))
            OnCableData(message->m_wParam, message->m_lParam);
        return true;
    }
    if (e->type() == static_cast<QEvent::Type>(CSerialWnd::DefaultMessage())) {
        if (const auto* message = AcceptWindowMessage(e))
            OnSerialEvent(message->m_wParam, message->m_lParam);
        return true;
    }
    return QObject::event(e);
}

LPARAM CUpdateEngine::OnCableData(WPARAM, LPARAM)
{
    m_usb.OnCableData();
    return 0;
}

void CUpdateEngine::Enable(EngineControl control, bool bEnabled)
{
    if (control == EngineControl::Send)
        m_bSendEnabled = bEnabled;
    m_events.OnEnable(control, bEnabled);
}

void CUpdateEngine::SetImageButtons(bool bOpenFile, bool bGetFromWeb, bool bSend)
{
    Enable(EngineControl::OpenFile, bOpenFile);
    Enable(EngineControl::GetFromWeb, bGetFromWeb);
    Enable(EngineControl::Send, bSend);
}

void CUpdateEngine::SetPhase(int nPhase)
{
    m_nPhase = nPhase;
    m_events.OnPhase(nPhase);
}

void CUpdateEngine::Log(const std::string& text) { m_events.OnLogLine(text); }

void CUpdateEngine::ClearLog() { m_events.OnClearLog(); }

void CUpdateEngine::ShowNotice(const std::string& text) { m_events.OnNotice(text); }

// A notice that must not hold up the handler in progress (the unit is owed its answer, or the
// USB reader waits for the handler): it opens once the current event is done.
void CUpdateEngine::ShowNoticeLater(const std::string& text)
{
    QMetaObject::invokeMethod(this, [this, text] { ShowNotice(text); }, Qt::QueuedConnection);
}

void CUpdateEngine::ShowMessageBox(const std::string& text) { m_events.OnMessageBox(text); }
