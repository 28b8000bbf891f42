// The engine's life and the snapshot it keeps for its faces.
#include "device/UpdateEngine.h"

#include "device/QtEngineClock.h"
#include "web/MultiWebRequest.h"

CUpdateEngine::CUpdateEngine(IEngineEvents& events, std::unique_ptr<IEngineClock> pClock)
    : m_events(events), m_pClock(pClock ? std::move(pClock) : std::make_unique<CQtEngineClock>()),
      m_session(*this),
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
    m_session.Release();
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

void CUpdateEngine::SetImageReady(bool bReady)
{
    if (m_bImageReady == bReady)
        return;
    m_bImageReady = bReady;
    Publish();
}

EngineSnapshot CUpdateEngine::Snapshot() const
{
    EngineSnapshot snapshot;
    snapshot.state = m_state;
    snapshot.phase = PhaseOf(m_state);
    snapshot.link = {m_session.Kind(), m_session.Name(), m_session.InUse()};
    snapshot.unit = m_identity;
    snapshot.image = {m_bImageReady,      m_image.m_version,       m_image.m_strNotes,
                      m_strImageSource,   m_image.m_nTotalLines,   m_image.m_bFromWeb};
    snapshot.progress = {m_nLinesSent, m_nRunLines};
    snapshot.request = m_pWebRequest      ? EngineRequest::Fetch
                       : IsReportRunning() ? EngineRequest::Report
                                           : EngineRequest::None;
    return snapshot;
}
