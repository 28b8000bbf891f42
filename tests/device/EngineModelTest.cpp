// A seeded, randomized model test of the update engine. Random sequences of user actions, unit
// events, web timing and cable plugging drive one engine in process: the engine talks through
// the link interface to a stand-in link (what it sends is read from its support log, exactly and
// at once) with two simulated units, one attached at a time; the web service is a double at the
// engine's request seam whose answers the sequence delivers when it chooses.
// Time is a step too, on a fake clock: a running timer fires when the sequence says so. After every step the
// invariants below are checked; at the end of a sequence an update of the connected unit must
// still be reachable. A failure prints its seed and the shortest sequence found, and
// KX_MODEL_SEED=<seed> replays that seed alone.
#include "FakeEngineClock.h"
#include "FakeLink.h"
#include "UnitSimulator.h"
#include "app/WindowControls.h"
#include "device/UpdateEngine.h"
#include "platform/SupportLog.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <vector>

namespace {

enum class Act {
    GetFromWeb, OpenFile, Send, DetectContinue, DetectCancel, PortChange, EchoTest, Exit,
    UnitA, UnitB, UnitSilent, UnitCorruptAt, UnitDieAtLine, UnitDieAfterLast, UnitKeepsOldVersion,
    UnitSpeaks, WebAnswer, WebFail, WebControlByte, WebStatus, Unplug, Plug, Timer,
};

const char* const ACT_NAMES[] = {
    "GetFromWeb", "OpenFile", "Send", "DetectContinue", "DetectCancel", "PortChange", "EchoTest",
    "Exit", "UnitA", "UnitB", "UnitSilent", "UnitCorruptAt", "UnitDieAtLine", "UnitDieAfterLast",
    "UnitKeepsOldVersion", "UnitSpeaks", "WebAnswer", "WebFail", "WebControlByte", "WebStatus",
    "Unplug", "Plug", "Timer",
};

struct Step {
    Act act;
    int param = 0; // a timer id, a line number, or 1 for junk before the identification
};

std::string Describe(const std::vector<Step>& steps)
{
    std::ostringstream out;
    for (const Step& step : steps)
        out << "  " << ACT_NAMES[static_cast<int>(step.act)] << "(" << step.param << ")\n";
    return out.str();
}

// The engine's two timers on the fake clock: its deadline, and the reboot window.
constexpr int TIMER_DEADLINE = 0;
constexpr int TIMER_REBOOT_WINDOW = 1;
const char* const PORT_PATH = "/dev/ttyKX0";
constexpr int IMAGE_DATA_LINES = 4;
const std::string JUNK("\x00\xFF\x2E\x07junk..\xE9", 11);

UnitIdentity MakeUnit(std::uint32_t serial, int loaderMajor, int loaderMinor)
{
    UnitIdentity id;
    id.serialNumber = serial;
    id.loaderMajor = loaderMajor;
    id.loaderMinor = loaderMinor;
    id.appMajor = 1;
    id.appMinor = 5;
    return id;
}

// The image the service or a file holds for one unit: every data line names that unit.
std::vector<std::string> DataLines(const std::string& serial, bool bControlByte = false)
{
    std::vector<std::string> lines;
    for (int i = 0; i < IMAGE_DATA_LINES - 1; ++i)
        lines.push_back(":10S" + serial + "D" + std::to_string(i) + "00");
    if (bControlByte)
        lines[1].insert(5, 1, '\0');
    lines.push_back(":00S" + serial + "E0119");
    return lines;
}

std::string ImageText(const std::string& serial, bool bControlByte = false)
{
    std::string text = "VER:0107\r\nPID:0410\r\nINFO:model test image\r\n";
    for (const std::string& line : DataLines(serial, bControlByte))
        text += line + "\r\n";
    return text;
}

std::string QueryValue(const std::string& url, const std::string& key)
{
    const std::size_t at = url.find(key + "=");
    if (at == std::string::npos)
        return {};
    const std::size_t from = at + key.size() + 1;
    return url.substr(from, url.find('&', from) - from);
}

class CModel;

// The web service's side of one request.
class CFakeRequest : public IWebRequest {
public:
    CFakeRequest(CModel& model, int nId, StatusFn fnStatus, DoneFn fnDone)
        : m_model(model), m_nId(nId), m_fnStatus(std::move(fnStatus)), m_fnDone(std::move(fnDone))
    {
    }
    ~CFakeRequest() override;
    void Start(const std::string& strUrl) override;
    void Cancel() override { m_bCancelled = true; }
    bool IsDone() const override { return m_bDone || m_bCancelled; }
    bool IsFinished() const override { return true; }
    const WebFailure& Outcome() const override { return m_outcome; }

    CModel& m_model;
    int m_nId;
    StatusFn m_fnStatus;
    DoneFn m_fnDone;
    std::string m_strUrl;
    WebFailure m_outcome;
    bool m_bDone = false;
    bool m_bCancelled = false;
};

struct Row {
    std::string text;
    int nOwner = 0; // the request whose status row it is
    bool bActivity = false;
};

class CModel : public IEngineEvents {
public:
    explicit CModel(const std::string& imageDir) : m_imageDir(imageDir)
    {
        m_units[0] = std::make_unique<UnitSimulator>(MakeUnit(1111, 2, 8));
        m_units[1] = std::make_unique<UnitSimulator>(MakeUnit(2222, 3, 1));
        auto pClock = std::make_unique<CFakeEngineClock>();
        m_pClock = pClock.get();
        m_engine = std::make_unique<CUpdateEngine>(*this, std::move(pClock));
        m_engine->SetLinkFactory([this](LinkKind, ILinkEvents& events) {
            m_pLinkEvents = &events;
            auto pLink = std::make_unique<CFakeLink>(events, "");
            m_pLink = pLink.get();
            pLink->SetWriteObserver([this](std::string_view bytes) { m_strSent.append(bytes); });
            return std::unique_ptr<ILink>(std::move(pLink));
        });
        m_engine->SetSupportLog(&m_log);
        m_engine->SetWebBaseUrl("http://127.0.0.1:8410"); // requests go to the double
        SystemRoots roots;
        roots.proc = m_imageDir; // no other program holds the terminal: no need to look
        m_engine->SetSystemRoots(roots);
        m_engine->SetWebRequestFactory([this](IWebRequest::StatusFn fnStatus,
                                              IWebRequest::DoneFn fnDone) {
            auto request = std::make_unique<CFakeRequest>(*this, m_nNextRequest++,
                                                          std::move(fnStatus), std::move(fnDone));
            m_requests.push_back(request.get());
            return std::unique_ptr<IWebRequest>(std::move(request));
        });
        m_engine->ChoosePort(PORT_PATH);
        m_engine->ConnectChosenPort();
        Pump();
    }
    ~CModel() override
    {
        m_bEnding = true;
        m_engine.reset();
    }

    // --- the face ---
    void OnStatusRow(const std::string& text) override
    {
        // A line says why only what happened: the unit stopped answering only on the silence
        // time-out.
        if (text.find("stopped answering") != std::string::npos && !m_bSilenceFiring)
            Fail(4, "a reason that did not happen: " + text);
        m_rows.push_back({text});
    }
    void OnStatusCleared() override { m_rows.clear(); }
    void OnActivity() override
    {
        // The window's activity line replaces its own row, wherever it is.
        std::erase_if(m_rows, [](const Row& row) { return row.bActivity; });
        m_rows.push_back({"Trying to connect", 0, true});
    }
    void OnWebStatus(const std::string& text, bool bNewLine) override
    {
        if (bNewLine) {
            m_rows.push_back({text, m_nNextRequest}); // the request about to start owns it
            return;
        }
        // Only the newest request speaks, into its own row (a new one after a clear).
        if (m_nDelivering != m_nNextRequest - 1)
            Fail(4, "request " + std::to_string(m_nDelivering) + " writes \"" + text +
                        "\" after request " + std::to_string(m_nNextRequest - 1) + " started");
        auto own = std::find_if(m_rows.begin(), m_rows.end(),
                                [this](const Row& row) { return row.nOwner == m_nDelivering; });
        if (own == m_rows.end())
            m_rows.push_back({text, m_nDelivering});
        else
            own->text = text;
    }
    void OnNotice(const EngineNotice& notice) override
    {
        const std::string& text = notice.strText;
        Drain();
        if (m_engine && m_engine->Phase() == EnginePhase::Identified && m_bOwedKeepAlive)
            Fail(6, "a notice opens while the unit waits for its keep-alive: " + text);
        m_notices.push_back(text);
    }
    // The window's controls, as it shows them now.
    WindowControls Controls() const { return ControlsFor(m_engine->Snapshot()); }

    CUpdateEngine& Engine() { return *m_engine; }

    // --- the steps ---
    // A random step among those that can do something now, the user's and the unit's alike.
    Step ChooseStep(std::mt19937& random);
    void Apply(const Step& step);
    void CheckUpdateReachable();

    std::optional<std::string> m_strFailure;
    int m_nFailedInvariant = 0;
    std::vector<CFakeRequest*> m_requests;
    std::vector<std::string> m_reports;
    bool m_bEnding = false;

private:
    friend class CFakeRequest;

    void Fail(int invariant, const std::string& text)
    {
        if (!m_strFailure) {
            m_strFailure = "invariant " + std::to_string(invariant) + ": " + text;
            m_nFailedInvariant = invariant;
        }
    }
    UnitSimulator* Attached() { return m_nAttached >= 0 ? m_units[m_nAttached].get() : nullptr; }
    void Attach(int index, bool bJunk);
    std::string TakeSent();
    void Drain();
    void Pump();
    void Speak();
    CFakeRequest* LiveRequest()
    {
        for (auto it = m_requests.rbegin(); it != m_requests.rend(); ++it)
            if (!(*it)->IsDone() && !QueryValue((*it)->m_strUrl, "done").starts_with("1"))
                return *it;
        return nullptr;
    }
    void Answer(CFakeRequest& request, bool bOk, bool bControlByte);
    void CheckDataLine(int unit, const std::string& line);
    void CheckRunEnd();
    void ClickSend();

    std::string m_imageDir;
    CFakeEngineClock* m_pClock = nullptr;
    CFakeLink* m_pLink = nullptr;
    ILinkEvents* m_pLinkEvents = nullptr; // where the link delivers what the unit says
    CSupportLog m_log{""}; // in memory, as the program keeps one
    // What the engine wrote to its link since it was last taken (the support log counts the
    // keep-alive rather than tracing it).
    std::string m_strSent;
    std::unique_ptr<UnitSimulator> m_units[2];
    std::unique_ptr<CUpdateEngine> m_engine;
    std::vector<Row> m_rows;
    std::vector<std::string> m_notices;
    std::deque<std::string> m_pending; // what the attached unit has said and not yet delivered
    std::size_t m_nLinesSeen[2] = {0, 0};
    int m_nNextRequest = 1;
    int m_nDelivering = 0; // the request whose text or answer is being delivered
    int m_nAttached = 0;
    bool m_bJunk = false;
    bool m_bPlugged = true;
    bool m_bAwaitingPlug = false;
    bool m_bOwedKeepAlive = false;
    bool m_bSilenceFiring = false;
    // The run in progress: its image came from the web, and the unit that took all its lines.
    bool m_bRunFromWeb = false;
    bool m_bRunRunning = false;
    int m_nRunUnit = -1;
    std::size_t m_nReportsAtRun = 0;
};

CFakeRequest::~CFakeRequest()
{
    if (m_model.m_bEnding)
        return;
    auto& list = m_model.m_requests;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void CFakeRequest::Start(const std::string& strUrl)
{
    m_strUrl = strUrl;
    if (QueryValue(strUrl, "done") == "1") {
        m_model.m_reports.push_back(strUrl);
        m_bDone = true;
    }
}

void CModel::Attach(int index, bool bJunk)
{
    // A unit connected to the cable has just been switched on: it waits for the wake-up.
    m_nAttached = index;
    m_bJunk = bJunk;
    m_pending.clear();
    if (UnitSimulator* unit = Attached())
        unit->Restart();
}

// What the engine wrote since the last call, whether the link was open or not.
std::string CModel::TakeSent()
{
    if (m_pLink != nullptr)
        m_pLink->TakeWritten(); // the link's own copy is not needed
    return std::exchange(m_strSent, {});
}

// What the engine sent goes to the attached unit (if the cable is in); its replies wait.
void CModel::Drain()
{
    const std::string written = TakeSent();
    if (written.empty())
        return;
    if (written.find('A') != std::string::npos)
        m_bOwedKeepAlive = false;
    UnitSimulator* unit = Attached();
    static const bool bTrace = std::getenv("KX_MODEL_TRACE") != nullptr;
    if (bTrace)
        std::fprintf(stderr, "  sent \"%s\"%s\n", written.c_str(),
                     m_bPlugged && unit != nullptr ? "" : " (nobody hears it)");
    if (!m_bPlugged || unit == nullptr)
        return;
    for (const auto& reply : unit->Receive(written)) {
        const bool bIdentification = reply.text.rfind(".KX410", 0) == 0;
        m_pending.push_back(bIdentification && m_bJunk ? JUNK + reply.text : reply.text);
    }
    const auto lines = unit->DataLines();
    for (std::size_t i = m_nLinesSeen[m_nAttached]; i < lines.size(); ++i)
        CheckDataLine(m_nAttached, lines[i]);
    m_nLinesSeen[m_nAttached] = lines.size();
}

// Lines go to a unit only from an image validated for that unit: every line names its unit
// and is whole.
void CModel::CheckDataLine(int unit, const std::string& line)
{
    if (line.rfind(':', 0) != 0)
        return; // not an image's line (an echo test's text the unit took for one)
    const std::string serial = unit == 0 ? "1111" : "2222";
    const auto expected = DataLines(serial);
    if (std::find(expected.begin(), expected.end(), line) == expected.end())
        Fail(1, "unit " + serial + " received the line \"" + line + "\"");
}

void CModel::Pump()
{
    Drain();
    CheckRunEnd();
}

void CModel::Speak()
{
    if (m_pending.empty())
        return;
    const std::string text = m_pending.front();
    m_pending.pop_front();
    m_bOwedKeepAlive = true;
    if (m_pLinkEvents != nullptr)
        m_pLinkEvents->OnLinkBytes(text);
    Drain();
    m_bOwedKeepAlive = false;
    // The acknowledgement of a run's last line: this unit took the whole image.
    if (m_bRunRunning && m_nRunUnit < 0 && m_engine->LinesLeft() == 0 &&
        (m_engine->State() == EngineState::Finishing ||
         m_engine->State() == EngineState::FinishPause))
        m_nRunUnit = m_nAttached;
}

void CModel::Answer(CFakeRequest& request, bool bOk, bool bControlByte)
{
    std::string body = bOk ? ImageText(QueryValue(request.m_strUrl, "sn"), bControlByte) : "";
    request.m_bDone = true;
    m_nDelivering = request.m_nId;
    if (request.m_fnStatus)
        request.m_fnStatus("Downloading lastest update " + std::to_string(body.size()) + " bytes");
    auto fnDone = request.m_fnDone; // the engine may destroy the request while it is told
    if (fnDone)
        fnDone(bOk, body);
    m_nDelivering = 0;
}

// A completion report names the unit that took the whole image, with its version, once; a
// whole web run is never left without one.
void CModel::CheckRunEnd()
{
    const EnginePhase phase = m_engine ? m_engine->Phase() : EnginePhase::Idle;
    for (std::size_t i = m_nReportsAtRun; i < m_reports.size(); ++i) {
        const std::string& url = m_reports[i];
        const bool bExpected = m_bRunFromWeb && m_nRunUnit >= 0 && i == m_nReportsAtRun;
        const std::string serial = m_nRunUnit == 1 ? "2222" : "1111";
        const std::string loader = m_nRunUnit == 1 ? "0301" : "0208";
        if (!bExpected || QueryValue(url, "sn") != serial || QueryValue(url, "fw") != "0107" ||
            QueryValue(url, "ldr") != loader)
            Fail(2, "unexpected completion report " + url);
    }
    if (m_bRunRunning && phase != EnginePhase::Finished && phase != EnginePhase::Programming) {
        if (m_bRunFromWeb && m_nRunUnit >= 0 && m_reports.size() == m_nReportsAtRun)
            Fail(2, "a whole web run ended without its completion report");
        m_bRunRunning = false;
        m_nReportsAtRun = m_reports.size();
    }
}

void CModel::ClickSend()
{
    m_bRunFromWeb = m_engine->Snapshot().image.bFromWeb;
    m_bRunRunning = true;
    m_nRunUnit = -1;
    m_nReportsAtRun = m_reports.size();
    const std::size_t notices = m_notices.size();
    m_engine->StartProgramming();
    const bool bWrote = m_engine->Phase() == EnginePhase::Programming;
    if (!bWrote && m_notices.size() == notices)
        Fail(3, "an enabled Send sent nothing");
}

void CModel::Apply(const Step& step)
{
    static const bool bTrace = std::getenv("KX_MODEL_TRACE") != nullptr;
    if (bTrace)
        std::fprintf(stderr, "%s(%d) state %s\n", ACT_NAMES[static_cast<int>(step.act)],
                     step.param, StateName(m_engine->State()));
    CUpdateEngine& engine = *m_engine;
    UnitSimulator* unit = Attached();
    switch (step.act) {
    case Act::GetFromWeb:
        if (Controls().bGetFromWeb) {
            const std::size_t before = m_requests.size();
            engine.GetFromWeb();
            if (m_requests.size() == before)
                Fail(3, "an enabled Get from Web started no request");
        }
        break;
    case Act::OpenFile:
        if (Controls().bOpenFile) {
            // The user picks the file for the unit the window shows.
            const std::string serial = engine.Identity().m_strSerialNumber;
            const std::string path = m_imageDir + "/unit" + serial + ".fwr";
            std::ofstream(path, std::ios::binary) << ImageText(serial);
            engine.LoadImageFile(path);
        }
        break;
    case Act::Send:
        if (Controls().bSend)
            ClickSend();
        break;
    case Act::DetectContinue:
    case Act::PortChange:
        if ((step.act == Act::PortChange ? Controls().bPortList : Controls().bDetect)) {
            engine.CloseLinkAndIdle();
            engine.ChoosePort(PORT_PATH);
            engine.ConnectChosenPort();
        }
        break;
    case Act::DetectCancel:
        if (Controls().bDetect) {
            engine.PauseWakeUp();
            engine.ResumeWakeUp();
        }
        break;
    case Act::EchoTest: engine.StartEchoTest(); break;
    case Act::Exit: break;
    case Act::UnitA: Attach(0, step.param != 0); break;
    case Act::UnitB: Attach(1, step.param != 0); break;
    case Act::UnitSilent: Attach(-1, false); break;
    case Act::UnitCorruptAt:
        if (unit)
            unit->ReportCorruptAtLine(step.param);
        break;
    case Act::UnitDieAtLine:
        if (unit)
            unit->FallSilentAtLine(step.param);
        break;
    case Act::UnitDieAfterLast:
        if (unit)
            unit->SetMuteAtFinish(true);
        break;
    case Act::UnitKeepsOldVersion:
        if (unit)
            unit->SetAppAfterUpdate(1, 5);
        break;
    case Act::UnitSpeaks: Speak(); break;
    case Act::WebAnswer:
    case Act::WebFail:
    case Act::WebControlByte:
        if (CFakeRequest* request = LiveRequest())
            Answer(*request, step.act != Act::WebFail, step.act == Act::WebControlByte);
        break;
    case Act::WebStatus:
        if (CFakeRequest* request = LiveRequest(); request && request->m_fnStatus) {
            m_nDelivering = request->m_nId;
            request->m_fnStatus("Connecting to 127.0.0.1");
            m_nDelivering = 0;
        }
        break;
    case Act::Unplug:
        m_bPlugged = false;
        m_pending.clear();
        // The window lets the link go unless a run is in progress, which fails by itself.
        if (engine.Phase() == EnginePhase::Connecting || engine.Phase() == EnginePhase::Identified) {
            engine.CloseLinkAndIdle();
            m_bAwaitingPlug = true;
        }
        break;
    case Act::Plug:
        m_bPlugged = true;
        if (m_bAwaitingPlug && engine.Phase() == EnginePhase::Idle) {
            m_bAwaitingPlug = false;
            engine.ConnectChosenPort();
        }
        break;
    case Act::Timer: {
        CFakeEngineClock::CTimer* pTimer = m_pClock->Timers().at(step.param);
        m_bSilenceFiring = step.param == TIMER_DEADLINE &&
                           (engine.State() == EngineState::Identified ||
                            engine.State() == EngineState::Finishing);
        if (pTimer->IsActive())
            pTimer->Fire();
        m_bSilenceFiring = false;
        break;
    }
    }
    Pump();
}

// From any state the user reaches an update of the connected unit: the cable goes in, a sound
// unit is connected, and a patient user with the controls the window offers gets it updated.
void CModel::CheckUpdateReachable()
{
    if (m_strFailure)
        return;
    Apply({Act::Plug});
    const int index = m_nAttached < 0 ? 0 : m_nAttached;
    const UnitIdentity id = MakeUnit(index == 0 ? 1111 : 2222, index == 0 ? 2 : 3, index == 0 ? 8 : 1);
    m_units[index] = std::make_unique<UnitSimulator>(id);
    m_nLinesSeen[index] = 0;
    Attach(index, false);
    for (int i = 0; i < 400 && !m_strFailure; ++i) {
        if (m_units[index]->DataLines().size() == static_cast<std::size_t>(IMAGE_DATA_LINES))
            return;
        CUpdateEngine& engine = *m_engine;
        if (LiveRequest()) {
            Apply({Act::WebAnswer});
        } else if (Controls().bSend) {
            Apply({Act::Send});
        } else if (engine.Phase() == EnginePhase::Identified && Controls().bGetFromWeb) {
            Apply({Act::GetFromWeb});
        } else if (!m_pending.empty()) {
            Apply({Act::UnitSpeaks});
        } else {
            int fired = -1;
            for (int id : {TIMER_DEADLINE, TIMER_REBOOT_WINDOW})
                if (fired < 0 && m_pClock->Timers().at(id)->IsActive())
                    fired = id;
            if (fired >= 0) {
                Apply({Act::Timer, fired});
            } else if (Controls().bPortList) {
                Apply({Act::PortChange});
            } else {
                Fail(5, "nothing the user can do leads to an update (state " +
                            std::string(StateName(engine.State())) + ")");
            }
        }
    }
    if (!m_strFailure)
        Fail(5, "the connected unit was not updated within 400 steps");
}

Step CModel::ChooseStep(std::mt19937& random)
{
    const auto pick = [&random](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    std::vector<int> running;
    for (int id : {TIMER_DEADLINE, TIMER_REBOOT_WINDOW})
        if (m_pClock->Timers().at(id)->IsActive())
            running.push_back(id);
    const bool bLive = LiveRequest() != nullptr;
    const std::vector<std::pair<Step, int>> weights = {
        {{Act::GetFromWeb}, Controls().bGetFromWeb ? 12 : 1},
        {{Act::OpenFile}, Controls().bOpenFile ? 4 : 1},
        {{Act::Send}, Controls().bSend ? 12 : 1},
        {{Act::DetectContinue}, 1}, {{Act::DetectCancel}, 1}, {{Act::PortChange}, 1},
        {{Act::EchoTest}, 1}, {{Act::Exit}, 1},
        {{Act::UnitA, pick(3) == 0}, 2}, {{Act::UnitB, pick(3) == 0}, 2}, {{Act::UnitSilent}, 2},
        {{Act::UnitCorruptAt, 1 + pick(IMAGE_DATA_LINES)}, 1},
        {{Act::UnitDieAtLine, 1 + pick(IMAGE_DATA_LINES)}, 1},
        {{Act::UnitDieAfterLast}, 1}, {{Act::UnitKeepsOldVersion}, 2},
        {{Act::UnitSpeaks}, m_pending.empty() ? 1 : 30},
        {{Act::WebAnswer}, bLive ? 6 : 1}, {{Act::WebFail}, 1}, {{Act::WebControlByte}, 1},
        {{Act::WebStatus}, bLive ? 3 : 1}, {{Act::Unplug}, 1}, {{Act::Plug}, 2},
        {{Act::Timer, running.empty() ? TIMER_DEADLINE : running[pick(static_cast<int>(running.size()))]},
         running.empty() ? 1 : 12},
    };
    int total = 0;
    for (const auto& entry : weights)
        total += entry.second;
    int chosen = pick(total);
    for (const auto& [step, weight] : weights) {
        if (chosen < weight)
            return step;
        chosen -= weight;
    }
    return {Act::UnitSpeaks};
}

struct Outcome {
    int nInvariant = 0; // 0: every invariant held
    std::string strText;
    std::vector<Step> steps; // what was done
};

// Runs one sequence on a fresh engine: the given steps, or with a seed, steps chosen as it goes.
Outcome RunSequence(const std::vector<Step>& given, const std::string& imageDir,
                    std::optional<unsigned> seed = std::nullopt)
{
    CModel model(imageDir);
    Outcome outcome;
    std::mt19937 random(seed.value_or(0));
    const std::size_t length =
        seed ? static_cast<std::size_t>(std::uniform_int_distribution<int>(5, 150)(random)) : given.size();
    bool bExited = false;
    for (std::size_t i = 0; i < length && !model.m_strFailure; ++i) {
        const Step step = seed ? model.ChooseStep(random) : given[i];
        outcome.steps.push_back(step);
        if (step.act == Act::Exit) {
            bExited = true;
            break;
        }
        model.Apply(step);
    }
    if (!bExited)
        model.CheckUpdateReachable();
    if (model.m_strFailure) {
        outcome.nInvariant = model.m_nFailedInvariant;
        outcome.strText = *model.m_strFailure;
    }
    return outcome;
}

// The shortest sequence found that still breaks the same invariant: steps are taken out one
// at a time for as long as one can be.
std::vector<Step> Shrink(std::vector<Step> steps, int invariant, const std::string& imageDir)
{
    for (bool bShorter = true; bShorter;) {
        bShorter = false;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            std::vector<Step> fewer = steps;
            fewer.erase(fewer.begin() + static_cast<std::ptrdiff_t>(i));
            if (RunSequence(fewer, imageDir).nInvariant == invariant) {
                steps = std::move(fewer);
                bShorter = true;
                break;
            }
        }
    }
    return steps;
}

int EnvNumber(const char* name, int fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::atoi(value) : fallback;
}

TEST(EngineModel, RandomSequencesKeepEveryInvariant)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string imageDir = dir.path().toStdString();
    const int onlySeed = EnvNumber("KX_MODEL_SEED", -1);
    const int first = onlySeed >= 0 ? onlySeed : EnvNumber("KX_MODEL_FIRST_SEED", 1);
    const int count = onlySeed >= 0 ? 1 : EnvNumber("KX_MODEL_SEQUENCES", 2000);
    for (int seed = first; seed < first + count; ++seed) {
        const Outcome outcome = RunSequence({}, imageDir, static_cast<unsigned>(seed));
        if (outcome.nInvariant == 0)
            continue;
        const std::vector<Step> shortest = Shrink(outcome.steps, outcome.nInvariant, imageDir);
        FAIL() << "seed " << seed << " (replay: KX_MODEL_SEED=" << seed << "): " << outcome.strText
               << "\nshortest sequence (" << shortest.size() << " steps; "
               << RunSequence(shortest, imageDir).strText << "):\n"
               << Describe(shortest);
    }
}

} // namespace
