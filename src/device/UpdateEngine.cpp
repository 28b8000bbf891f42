// The engine's life, the controls it decides and the notices it shows.
#include "device/UpdateEngine.h"

#include "device/QtEngineClock.h"
#include "web/MultiWebRequest.h"

CUpdateEngine::CUpdateEngine(IUpdateEvents& events, std::unique_ptr<IEngineClock> pClock)
    : m_events(events), m_pClock(pClock ? std::move(pClock) : std::make_unique<CQtEngineClock>()),
      m_webFactory([](IWebRequest::StatusFn fnStatus, IWebRequest::DoneFn fnDone) {
          return std::unique_ptr<IWebRequest>(
              std::make_unique<CMultiWebRequest>(std::move(fnStatus), std::move(fnDone)));
      })
{
    m_pDeadline = m_pClock->MakeTimer([this] { OnDeadline(); });
    m_pRebootWindow = m_pClock->MakeTimer([this] { OnRebootWindowEnd(); });
}

CUpdateEngine::~CUpdateEngine()
{
    Shutdown();
    m_pReportRequest.reset();
}

void CUpdateEngine::Shutdown()
{
    // A run cut short by the program's end is recorded as far as it got.
    SettleRecord();
    m_pWebRequest.reset();
    m_pWebRequestDone.reset();
    m_retiredRequests.clear();
    m_pDeadline->Stop();
    m_pRebootWindow->Stop();
    m_heldText.clear();
    m_state = EngineState::Idle;
    CloseLink();
}

void CUpdateEngine::SetUpdateHistory(CUpdateHistory* pHistory, const std::string& face,
                                     CRunRecorder::NowFn fnNow, const std::string& port)
{
    SettleRecord();
    m_pRecorder = pHistory ? std::make_unique<CRunRecorder>(*pHistory, face, std::move(fnNow), port)
                           : nullptr;
}

void CUpdateEngine::SettleRecord()
{
    if (m_pRecorder)
        m_pRecorder->Settle(m_nLinesSent);
}

void CUpdateEngine::DropAwaitedCheck()
{
    if (m_bAwaitingCheck)
        SettleRecord();
    m_bAwaitingCheck = false;
    m_pRebootWindow->Stop();
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

void CUpdateEngine::ShowNoticeLater(const std::string& text)
{
    m_pClock->Later([this, text] { ShowNotice(text); });
}
