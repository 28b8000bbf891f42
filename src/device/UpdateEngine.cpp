// The engine's life, the snapshot it keeps for its faces, and what the conversation's steps
// lead to: rows, notices, records, resets and the completion report.
#include "device/UpdateEngine.h"

#include "device/QtEngineClock.h"
#include "device/UpdateCheck.h"
#include "platform/SupportLog.h"
#include "res/StringTable.h"
#include "web/MultiWebRequest.h"

CUpdateEngine::CUpdateEngine(IEngineEvents& events, std::unique_ptr<IEngineClock> pClock)
    : m_events(events), m_pClock(pClock ? std::move(pClock) : std::make_unique<CQtEngineClock>()),
      m_session(*this),
      m_source(*this, [](IWebRequest::StatusFn fnStatus, IWebRequest::DoneFn fnDone) {
          return std::unique_ptr<IWebRequest>(
              std::make_unique<CMultiWebRequest>(std::move(fnStatus), std::move(fnDone)));
      })
{
    m_pDeadline = m_pClock->MakeTimer([this] { m_conversation.OnDeadline(); });
    // The reboot window only decides whether the verdict on an update is a notice.
    m_pRebootWindow = m_pClock->MakeTimer([] {});
}

CUpdateEngine::~CUpdateEngine() { Shutdown(); }

void CUpdateEngine::Shutdown()
{
    // A run cut short by the program's end is recorded as far as it got.
    SettleRecord();
    m_source.Shutdown();
    m_pDeadline->Stop();
    m_pRebootWindow->Stop();
    m_conversation.Halt();
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
        m_pRecorder->Settle(m_conversation.LinesSent());
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
    snapshot.state = State();
    snapshot.phase = PhaseOf(snapshot.state);
    snapshot.link = {m_session.Kind(), m_session.Name(), m_session.InUse()};
    snapshot.unit = Identity();
    const FirmwareImage& image = m_source.Image();
    snapshot.image = {m_bImageReady,     image.m_version,     image.m_strNotes,
                      m_source.Source(), image.m_nTotalLines, image.m_bFromWeb};
    snapshot.progress = {m_conversation.LinesSent(), m_conversation.RunLines()};
    snapshot.request = IsWebRequestRunning() ? EngineRequest::Fetch
                       : IsReportRunning()   ? EngineRequest::Report
                                             : EngineRequest::None;
    return snapshot;
}

// --- the conversation's requests ---

bool CUpdateEngine::Send(std::string_view text) { return SendText(std::string(text)); }

bool CUpdateEngine::SendDataLine(const std::string& line, std::string_view lineEnd)
{
    // One trace entry holds the line and the unit's answer; the status line does not repeat it.
    if (CSupportLog* pLog = m_session.SupportLog(); pLog != nullptr)
        pLog->DataLine(line, m_session.Name());
    return !m_session.Write(line + std::string(lineEnd), CLinkSession::TraceAs::Untraced);
}

void CUpdateEngine::SetDeadline(int ms)
{
    if (ms > 0)
        m_pDeadline->Start(ms);
    else
        m_pDeadline->Stop();
}

void CUpdateEngine::OnStateEntered(EngineState state)
{
    m_session.CountKeepAlive(state == EngineState::Identified);
    Publish();
}

// --- the programming run ---

void CUpdateEngine::StartProgramming()
{
    DropAwaitedCheck();
    m_source.ForgetReport();
    m_conversation.StartRun(m_source.TakeLines(), ImageLineCount());
}

void CUpdateEngine::OnRunStarting(int nTotal)
{
    if (m_pRecorder)
        m_pRecorder->RunStarted(Identity(), m_source.Source(), ImageVersion(), nTotal);
    m_events.OnRunStarted(nTotal);
    m_bImageReady = false; // taken by the run
}

void CUpdateEngine::InterruptProgramming() { m_conversation.InterruptRun(); }

void CUpdateEngine::OnLineSent(const std::string& line, int nSent)
{
    // The bar stays at 0 for the first line; it moves from the second on.
    m_events.OnProgress({line, nSent, nSent > 1 ? nSent : 0});
}

void CUpdateEngine::OnLineAnswered()
{
    if (CSupportLog* pLog = m_session.SupportLog(); pLog != nullptr)
        pLog->LineAnswered(m_session.Name());
}

void CUpdateEngine::OnRunSucceeded(const std::vector<std::string>& rows)
{
    for (const auto& row : rows)
        Log(row);
    m_events.OnRunSucceeded(rows);
    if (m_pRecorder)
        m_pRecorder->RunFinished(m_conversation.LinesSent(), "Programming successful.");
    // The unit took every line: a web image's report is owed from now on, and the unit,
    // identified again after its reboot, must then run the image's version.
    m_source.OweReport(Identity());
    m_updatedUnit = Identity();
    m_strSentVersion = ImageVersion();
}

// A run that did not finish: the user is told, the list is cleared and the link reset. While
// the notice is open nothing more goes to the unit.
void CUpdateEngine::OnRunFailed(UpdateResult result, const std::string& text)
{
    const UpdateOutcome outcome{
        result, text, m_conversation.LinesSent(), m_conversation.RunLines(), ImageVersion(), true};
    if (m_pRecorder)
        m_pRecorder->RunEnded(outcome);
    ShowNotice(NoticeKind::RunFailed, text);
    ClearLog();
    ResetConnection();
    m_events.OnRunEnded(outcome);
}

void CUpdateEngine::OnUnitSilent(bool bRebooting)
{
    // A unit that never answered "C" is not expected back: its run is recorded as finished.
    if (!bRebooting)
        SettleRecord();
    ClearLog();
    CancelFetch("the " + Identity().m_strModel + " stopped answering");
    ResetConnection();
    if (bRebooting) {
        m_bAwaitingCheck = true;
        m_pRebootWindow->Start(REBOOT_WINDOW_MS);
    }
}

// --- the unit's identification and the check after an update ---

void CUpdateEngine::OnIdentifying(const DeviceIdentity& unit, const std::vector<std::string>& facts)
{
    AdvanceGeneration();
    CancelFetch("the unit was identified again");
    ClearLog();
    SetBar(0);
    for (const auto& line : facts)
        Log(line);
    Log("Press Open File or Get from Web");
    m_source.NoteIdentified(unit);
    m_bImageReady = false; // an image is checked anew for the unit
}

void CUpdateEngine::OnIdentified(const DeviceIdentity& unit)
{
    // A finished run whose reboot went unseen is recorded as finished, before a face can start
    // another.
    if (!m_bAwaitingCheck)
        SettleRecord();
    m_events.OnUnitIdentified(unit);
    // The unit has its answer before the verdict on an update is given.
    if (m_bAwaitingCheck)
        CheckUpdatedUnit();
}

// The first identification after the reboot that follows a whole run: the verdict is a status
// line; a notice only when the same unit is back within its reboot window, still on its old
// version.
void CUpdateEngine::CheckUpdatedUnit()
{
    m_bAwaitingCheck = false;
    const bool bWithinWindow = m_pRebootWindow->IsActive();
    m_pRebootWindow->Stop();
    const UpdateCheck check = ::CheckUpdatedUnit(m_strSentVersion, m_updatedUnit, Identity());
    const bool bNotice = check.bNotice && bWithinWindow;
    UpdateOutcome outcome{
        check.result,     check.strText, m_conversation.LinesSent(), m_conversation.RunLines(),
        m_strSentVersion, bNotice};
    Log(check.strText);
    if (m_pRecorder)
        m_pRecorder->RunChecked(outcome, Identity());
    m_events.OnRunEnded(outcome);
    if (bNotice)
        ShowNotice(NoticeKind::NotVerified, check.strText);
}

// --- the echo test ---

void CUpdateEngine::StartEchoTest()
{
    ResetLinkAndControls(true);
    // An unplugged link was let go instead: the test runs all the same and finds no cable.
    if (State() != EngineState::EchoResetting)
        m_conversation.StartEchoTest();
}

void CUpdateEngine::OnEchoEnded(bool bPassed)
{
    ShowNotice(NoticeKind::EchoResult, LoadString(bPassed ? IDS_ECHO_PASSED : IDS_ECHO_FAILED));
    ClearLog();
    ResetConnection();
    m_events.OnEchoEnded(bPassed);
}

void CUpdateEngine::OnEchoNoPort()
{
    ShowNotice(NoticeKind::EchoNoPort, "Cannot find Tetherix port");
    m_events.OnEchoEnded(false);
}

// --- the image ---

bool CUpdateEngine::LoadImageFile(const std::string& path)
{
    return m_source.LoadFile(path, Identity().m_strModel);
}

bool CUpdateEngine::LoadImageFileFor(const EngineTicket& ticket, const std::string& path)
{
    if (const std::string why = WhyTicketLapsed(ticket); !why.empty()) {
        m_source.LogUnused("file chosen", ticket.unit, why);
        return false;
    }
    return LoadImageFile(path);
}

void CUpdateEngine::GetFromWeb() { m_source.Fetch(Ticket()); }

void CUpdateEngine::OnImageAccepted()
{
    // A file's image is announced to the unit; a web image is not. A link that does not take
    // the announcement fails the run's first line, which says so.
    if (!m_source.Image().m_bFromWeb)
        (void)SendText("B");
    m_bImageReady = true;
    Publish();
    m_events.OnImageReady(Snapshot().image);
}

std::string CUpdateEngine::WhyTicketLapsed(const EngineTicket& ticket) const
{
    if (TicketHolds(ticket) && State() == EngineState::Identified)
        return {};
    if (State() != EngineState::Identified)
        return "the connection was reset meanwhile";
    if (ticket.unit.m_strSerialNumber != Identity().m_strSerialNumber)
        return "another unit is connected";
    return "the " + ticket.unit.m_strModel + " was identified again meanwhile";
}
