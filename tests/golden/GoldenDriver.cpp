// The golden scenarios' verbs on the engine: time is a fake clock whose deadline runs out when
// the scenario says which one; the links are stand-ins that keep what is written and say of
// themselves what the real ones say; the unit's bytes arrive as a link delivers them. The
// pause of a reset passes at the end of each step, as nothing can happen during it.
#include "GoldenDriver.h"

#include "GoldenRecorder.h"
#include "FakeEngineClock.h"
#include "FakeLink.h"
#include "app/WindowControls.h"
#include "device/UpdateEngine.h"

#include <QTemporaryDir>

#include <algorithm>
#include <vector>

namespace {

// The service's side of one request: what it was asked is recorded; the scenario answers.
class CGoldenRequest : public IWebRequest {
public:
    CGoldenRequest(std::vector<CGoldenRequest*>& live, CGoldenRecorder& face, StatusFn fnStatus, DoneFn fnDone)
        : m_live(live), m_face(face), m_fnStatus(std::move(fnStatus)), m_fnDone(std::move(fnDone))
    {
        m_live.push_back(this);
    }
    ~CGoldenRequest() override { std::erase(m_live, this); }
    void Start(const std::string& strUrl) override
    {
        m_bReport = strUrl.find("done=1") != std::string::npos;
        m_face.Note(std::string("  web: ") + (m_bReport ? "completion report " : "fetch ") + strUrl);
        m_bDone = m_bReport;
    }
    void Cancel() override { m_bCancelled = true; }
    bool IsDone() const override { return m_bDone || m_bCancelled; }
    bool IsFinished() const override { return true; }
    const WebFailure& Outcome() const override { return m_outcome; }

    std::vector<CGoldenRequest*>& m_live;
    CGoldenRecorder& m_face;
    StatusFn m_fnStatus;
    DoneFn m_fnDone;
    WebFailure m_outcome;
    bool m_bReport = false;
    bool m_bDone = false;
    bool m_bCancelled = false;
};

// The engine's face: what it says goes into the transcript.
class CGoldenFace : public IEngineEvents {
public:
    explicit CGoldenFace(CGoldenRecorder& recorder) : m_rec(recorder) {}
    void OnStatusRow(const std::string& text) override { m_rec.OnLogLine(text); }
    void OnStatusCleared() override { m_rec.OnClearLog(); }
    void OnActivity() override { m_rec.OnActivity(); }
    void OnWebStatus(const std::string& text, bool bNewLine) override { m_rec.OnWebStatus(text, bNewLine); }
    void OnLinkOpened(const std::string& name, bool bRemember) override { m_rec.OnPortOpened(name, bRemember); }
    void OnLinkDropped(const LinkError&, bool bForget) override { m_rec.OnPortChoiceDropped(bForget); }
    void OnDiagnosis(const std::string& sentence) override { m_rec.OnDiagnosis(sentence); }
    void OnUnitIdentified(const DeviceIdentity& unit) override { m_rec.OnIdentified(unit); }
    void OnRunStarted(int nTotalLines) override
    {
        m_rec.OnProgressRange(std::max(nTotalLines, 1));
        m_rec.OnProgress(0);
    }
    void OnProgress(const RunProgress& progress) override
    {
        if (!progress.strLine.empty())
            m_rec.OnLogLine(progress.strLine);
        // The bar stays at 0 for a run's first line.
        if (progress.strLine.empty() || progress.nBar > 0)
            m_rec.OnProgress(progress.nBar);
    }
    void OnRunSucceeded(const std::vector<std::string>& lines) override { m_rec.OnProgrammingSucceeded(lines); }
    void OnRunEnded(const UpdateOutcome& outcome) override { m_rec.OnUpdateEnded(outcome); }
    void OnEchoEnded(bool bPassed) override { m_rec.OnEchoEnded(bPassed); }
    void OnNotice(const EngineNotice& notice) override
    {
        if (notice.IsMessageBox())
            m_rec.OnMessageBox(notice.strText);
        else
            m_rec.OnNotice(notice.strText);
    }

private:
    CGoldenRecorder& m_rec;
};

std::string ControlsText(const WindowControls& controls)
{
    auto flag = [](bool b) { return b ? '1' : '0'; };
    return std::string("OpenFile=") + flag(controls.bOpenFile) + " GetFromWeb=" + flag(controls.bGetFromWeb) +
           " Send=" + flag(controls.bSend) + " PortList=" + flag(controls.bPortList) +
           " Detect=" + flag(controls.bDetect);
}

} // namespace

struct CGoldenDriver::Impl {
    explicit Impl(CGoldenRecorder& recorder) : face(recorder) {}
    CGoldenRecorder& face;
    CGoldenFace events{face};
    QTemporaryDir noProc; // no other program holds the terminal
    std::vector<CGoldenRequest*> requests;
    CFakeEngineClock* pClock = nullptr;
    CFakeLink* pLinks[2] = {nullptr, nullptr};
    ILinkEvents* pLinkEvents = nullptr; // where the links deliver what the unit says
    bool bAbsent[2] = {false, false}; // the link's port is not there when it is made
    std::unique_ptr<CUpdateEngine> engine;

    std::string Answer(bool bOk, const std::string& body)
    {
        const auto it = std::find_if(requests.rbegin(), requests.rend(),
                                     [](const CGoldenRequest* r) { return !r->m_bReport && !r->m_bDone; });
        if (it == requests.rend())
            return "no fetch is waiting for an answer";
        CGoldenRequest& request = **it;
        face.Note(std::string("  web: the service answers") + (request.m_bCancelled ? " a cancelled fetch" : ""));
        request.m_bDone = true;
        if (!bOk)
            request.m_outcome = {WebFailure::EKind::Refused, "Failed to connect to 127.0.0.1 port 8410", 0, {}};
        if (bOk && request.m_fnStatus)
            request.m_fnStatus("Downloading lastest update " + std::to_string(body.size()) + " bytes");
        std::string text = body;
        auto fnDone = request.m_fnDone; // the engine may destroy the request while it is told
        if (fnDone)
            fnDone(bOk, text);
        return {};
    }
};

namespace {
const char* const SERIAL_PATH = "/dev/ttyKX0";
const char* const SERIAL_NOTE = "low latency refused (Inappropriate ioctl for device)";
const char* const USB_NOTE = "latency timer set to 2 ms";
} // namespace

CGoldenDriver::CGoldenDriver(CGoldenRecorder& face, CSupportLog& log) : m_pImpl(new Impl{face})
{
    face.AddAlias(SERIAL_PATH, "<pty>");
    face.AddAlias(m_pImpl->noProc.path().toStdString(), "<tmp>");
    auto pClock = std::make_unique<CFakeEngineClock>();
    m_pImpl->pClock = pClock.get();
    m_pImpl->engine = std::make_unique<CUpdateEngine>(m_pImpl->events, std::move(pClock));
    CUpdateEngine& engine = *m_pImpl->engine;
    engine.SetLinkFactory([this](LinkKind kind, ILinkEvents& events) {
        m_pImpl->pLinkEvents = &events;
        auto pLink = std::make_unique<CFakeLink>(events, kind == LinkKind::Usb ? USB_NOTE : SERIAL_NOTE);
        m_pImpl->pLinks[kind == LinkKind::Usb ? 1 : 0] = pLink.get();
        pLink->SetPresent(!m_pImpl->bAbsent[kind == LinkKind::Usb ? 1 : 0]);
        pLink->SetWriteObserver([this](std::string_view bytes) { m_pImpl->face.OnUnitWrite(bytes); });
        return std::unique_ptr<ILink>(std::move(pLink));
    });
    engine.SetSupportLog(&log);
    engine.SetWebBaseUrl("http://127.0.0.1:8410");
    SystemRoots roots;
    roots.proc = m_pImpl->noProc.path().toStdString();
    engine.SetSystemRoots(roots);
    engine.SetWebRequestFactory([this](IWebRequest::StatusFn fnStatus, IWebRequest::DoneFn fnDone) {
        return std::unique_ptr<IWebRequest>(std::make_unique<CGoldenRequest>(
            m_pImpl->requests, m_pImpl->face, std::move(fnStatus), std::move(fnDone)));
    });
}

CGoldenDriver::~CGoldenDriver() { m_pImpl->engine.reset(); }

std::string CGoldenDriver::PortName(LinkKind kind) const
{
    return kind == LinkKind::Usb ? CUpdateEngine::USB_PORT_NAME : SERIAL_PATH;
}

namespace {
struct TimerFacts {
    const char* name;
    int ms;
};
TimerFacts Facts(TimerKind kind)
{
    switch (kind) {
    case TimerKind::Wake: return {"wake", WAKE_INTERVAL_MS};
    case TimerKind::WakeGap: return {"wake gap", WAKE_TEXT_GAP_MS};
    case TimerKind::ProgramReply: return {"program reply", PROGRAM_REPLY_TIMEOUT_MS};
    case TimerKind::Silence: return {"silence", SILENCE_TIMEOUT_MS};
    case TimerKind::FinishPause: return {"finish pause", FINISH_PAUSE_MS};
    case TimerKind::EchoStart: return {"echo start", ECHO_START_DELAY_MS};
    case TimerKind::EchoReply: return {"echo reply", ECHO_REPLY_TIMEOUT_MS};
    case TimerKind::RebootWindow: return {"reboot window", REBOOT_WINDOW_MS};
    }
    return {"?", 0};
}

// Whether the engine's deadline, in `state`, is the timer the scenario names.
bool DeadlineIs(TimerKind kind, EngineState state)
{
    switch (kind) {
    case TimerKind::Wake: return state == EngineState::Waking;
    case TimerKind::WakeGap: return state == EngineState::WakeGap;
    case TimerKind::ProgramReply: return state == EngineState::Programming;
    case TimerKind::Silence: return state == EngineState::Identified || state == EngineState::Finishing;
    case TimerKind::FinishPause: return state == EngineState::FinishPause;
    case TimerKind::EchoStart: return state == EngineState::EchoStarting;
    case TimerKind::EchoReply: return state == EngineState::EchoWaiting;
    case TimerKind::RebootWindow: return false;
    }
    return false;
}
} // namespace

std::string CGoldenDriver::TimerName(TimerKind kind)
{
    const TimerFacts facts = Facts(kind);
    return std::string(facts.name) + " " + std::to_string(facts.ms) + " ms";
}

std::string CGoldenDriver::OpenPort(LinkKind kind)
{
    m_pImpl->engine->ChoosePort(PortName(kind));
    m_pImpl->engine->ConnectChosenPort();
    return {};
}

std::string CGoldenDriver::StartWithSavedPortAbsent(LinkKind kind)
{
    m_pImpl->bAbsent[kind == LinkKind::Usb ? 1 : 0] = true;
    m_pImpl->engine->ChoosePort(PortName(kind));
    m_pImpl->engine->OpenSavedPort(PortName(kind));
    return {};
}

std::string CGoldenDriver::UnitSays(const std::string& bytes)
{
    if (m_pImpl->pLinkEvents != nullptr)
        m_pImpl->pLinkEvents->OnLinkBytes(bytes);
    return {};
}

std::string CGoldenDriver::Fire(TimerKind kind)
{
    CUpdateEngine& engine = *m_pImpl->engine;
    // The engine makes its deadline first and its reboot window second.
    const auto& timers = m_pImpl->pClock->Timers();
    CFakeEngineClock::CTimer* pTimer = kind == TimerKind::RebootWindow ? timers.at(1) : timers.at(0);
    if (!pTimer->IsActive() || (kind != TimerKind::RebootWindow && !DeadlineIs(kind, engine.State())))
        return "the " + TimerName(kind) + " timer is not running";
    pTimer->Fire();
    return {};
}

std::string CGoldenDriver::UserOpenFile(const std::string& path)
{
    m_pImpl->engine->LoadImageFileFor(m_pImpl->engine->Ticket(), path);
    return {};
}

std::string CGoldenDriver::UserGetFromWeb()
{
    m_pImpl->engine->GetFromWeb();
    return {};
}

std::string CGoldenDriver::UserSend()
{
    m_pImpl->engine->StartProgramming();
    return {};
}

std::string CGoldenDriver::UserDetect(DetectChoice choice)
{
    // The window's Detect: the wake-up stops while it asks and the link is closed; once the
    // cable is plugged in again (Continue), the USB cable is probed first and the cable found
    // is connected. Cancel on that prompt leaves the link closed.
    CUpdateEngine& engine = *m_pImpl->engine;
    engine.PauseWakeUp();
    engine.CloseLinkAndIdle("Detect Tetherix was pressed");
    if (choice == DetectChoice::Cancel)
        return {};
    if (engine.ProbeUsbCable()) {
        m_pImpl->face.Note("  probe: the USB cable is there");
        engine.ChoosePort(CUpdateEngine::USB_PORT_NAME);
    } else {
        m_pImpl->face.Note("  probe: no USB cable: " + engine.LastDiagnosis());
    }
    engine.ConnectChosenPort();
    return {};
}

std::string CGoldenDriver::UserChangePort(LinkKind kind)
{
    m_pImpl->engine->CloseLinkAndIdle("the port list was opened");
    return OpenPort(kind);
}

std::string CGoldenDriver::Unplug()
{
    m_pImpl->engine->SetLinkUnplugged(true);
    return {};
}

std::string CGoldenDriver::StartEchoTest()
{
    m_pImpl->engine->StartEchoTest();
    return {};
}

std::string CGoldenDriver::WebAnswer(const std::string& body) { return m_pImpl->Answer(true, body); }

std::string CGoldenDriver::WebFail() { return m_pImpl->Answer(false, {}); }

void CGoldenDriver::Settle()
{
    // Nothing can happen while a reset pauses or the cable waits to be opened again.
    CUpdateEngine& engine = *m_pImpl->engine;
    auto pausing = [&engine] {
        const EngineState state = engine.State();
        return state == EngineState::Resetting || state == EngineState::EchoResetting ||
               state == EngineState::Reopening || state == EngineState::EchoReopening;
    };
    while (pausing())
        m_pImpl->pClock->Timers().at(0)->Fire();
    m_pImpl->face.SetControls(ControlsText(ControlsFor(engine.Snapshot())));
}
