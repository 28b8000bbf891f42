// The golden scenarios' verbs on today's engine: a timer "runs out" by calling OnTimer for a
// timer that is running, the unit's bytes are handed on as the USB reader hands them, and
// nothing of the event loop runs but the notices that the engine leaves for "later".
#include "GoldenDriver.h"

#include "GoldenRecorder.h"
#include "PtyPair.h"
#include "device/ReceivedText.h"
#include "device/UpdateEngine.h"
#include "link/UsbCable.h"

#include <QCoreApplication>
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

} // namespace

struct CGoldenDriver::Impl {
    CGoldenRecorder& face;
    CPtyPair pty;
    QTemporaryDir noProc; // no other program holds the terminal
    std::vector<CGoldenRequest*> requests;
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

CGoldenDriver::CGoldenDriver(CGoldenRecorder& face, CSupportLog& log) : m_pImpl(new Impl{face, {}, {}, {}, {}})
{
    CUsbCable::SetDriverLibraryName(KX_SIM_FTD2XX);
    face.AddAlias(m_pImpl->pty.SlavePath(), "<pty>");
    face.AddAlias(m_pImpl->noProc.path().toStdString(), "<tmp>");
    m_pImpl->engine = std::make_unique<CUpdateEngine>(face);
    CUpdateEngine& engine = *m_pImpl->engine;
    engine.SetSupportLog(&log);
    engine.SetResetPauseMs(0);
    engine.SetWebBaseUrl("http://127.0.0.1:8410");
    SystemRoots roots;
    roots.proc = m_pImpl->noProc.path().toStdString();
    engine.SetSystemRoots(roots);
    engine.SetWebRequestFactory([this](IWebRequest::StatusFn fnStatus, IWebRequest::DoneFn fnDone) {
        return std::unique_ptr<IWebRequest>(std::make_unique<CGoldenRequest>(
            m_pImpl->requests, m_pImpl->face, std::move(fnStatus), std::move(fnDone)));
    });
}

CGoldenDriver::~CGoldenDriver()
{
    m_pImpl->engine.reset();
    CUsbCable::SetDriverLibraryName("");
}

std::string CGoldenDriver::PortName(LinkKind kind) const
{
    return kind == LinkKind::Usb ? CUpdateEngine::USB_PORT_NAME : m_pImpl->pty.SlavePath();
}

namespace {
struct TimerFacts {
    int nId;
    const char* name;
    int ms;
};
TimerFacts Facts(TimerKind kind)
{
    switch (kind) {
    case TimerKind::Wake: return {TIMER_WAKE, "wake", WAKE_INTERVAL_MS};
    case TimerKind::WakeGap: return {TIMER_STEP, "wake gap", WAKE_TEXT_GAP_MS};
    case TimerKind::ProgramReply: return {TIMER_PROGRAM_REPLY, "program reply", PROGRAM_REPLY_TIMEOUT_MS};
    case TimerKind::Silence: return {TIMER_SILENCE, "silence", SILENCE_TIMEOUT_MS};
    case TimerKind::FinishPause: return {TIMER_STEP, "finish pause", FINISH_PAUSE_MS};
    case TimerKind::EchoStart: return {TIMER_ECHO_START, "echo start", ECHO_START_DELAY_MS};
    case TimerKind::EchoReply: return {TIMER_ECHO_REPLY, "echo reply", ECHO_REPLY_TIMEOUT_MS};
    case TimerKind::RebootWindow: return {TIMER_REBOOT_WINDOW, "reboot window", REBOOT_WINDOW_MS};
    }
    return {0, "?", 0};
}
} // namespace

std::string CGoldenDriver::TimerName(TimerKind kind)
{
    const TimerFacts facts = Facts(kind);
    return std::string(facts.name) + " " + std::to_string(facts.ms) + " ms";
}

std::string CGoldenDriver::OpenPort(LinkKind kind)
{
    m_pImpl->face.SetSelectedPort(PortName(kind));
    m_pImpl->engine->ConnectSelectedPort();
    return {};
}

std::string CGoldenDriver::UnitSays(const std::string& bytes)
{
    m_pImpl->engine->OnCableText(CleanReceivedBytes(bytes.data(), bytes.size()));
    return {};
}

std::string CGoldenDriver::Fire(TimerKind kind)
{
    CUpdateEngine& engine = *m_pImpl->engine;
    const TimerFacts facts = Facts(kind);
    if (!engine.IsTimerRunning(facts.nId))
        return "the " + TimerName(kind) + " timer is not running";
    // One timer holds both timed steps: the conversation's phase says which it is.
    const bool bGap = engine.m_nPhase == PHASE_CONNECTING;
    if ((kind == TimerKind::WakeGap && !bGap) || (kind == TimerKind::FinishPause && bGap))
        return "the timed step running is not the " + TimerName(kind);
    engine.OnTimer(facts.nId);
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
    engine.KillTimer(TIMER_WAKE);
    engine.CloseLinkAndIdle("Detect Tetherix was pressed");
    if (choice == DetectChoice::Cancel)
        return {};
    if (engine.ProbeUsbCable()) {
        m_pImpl->face.Note("  probe: the USB cable is there");
        m_pImpl->face.SetSelectedPort(CUpdateEngine::USB_PORT_NAME);
    } else {
        m_pImpl->face.Note("  probe: no USB cable: " + engine.LastDiagnosis());
    }
    engine.ConnectSelectedPort();
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
    QCoreApplication::sendPostedEvents(m_pImpl->engine.get(), QEvent::MetaCall);
    m_pImpl->pty.TakeAvailable(); // the terminal is only kept from filling up
}
