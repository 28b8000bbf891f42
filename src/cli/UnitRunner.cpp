#include "cli/UnitRunner.h"

#include "device/UpdateCheck.h"
#include "device/UpdateHold.h"
#include "device/UpdateRecord.h"
#include "platform/SupportLog.h"

#include <algorithm>
#include <utility>

namespace {
constexpr int MS_PER_S = 1000;

FlashResult ResultOf(UpdateResult result)
{
    switch (result) {
    case UpdateResult::Verified: return FlashResult::Verified;
    case UpdateResult::NotVerified:
    case UpdateResult::NoVersion: return FlashResult::NotVerified;
    case UpdateResult::Corrupt:
    case UpdateResult::Silent:
    case UpdateResult::LinkLost: return FlashResult::Failed;
    case UpdateResult::Empty: return FlashResult::Rejected;
    case UpdateResult::Interrupted: return FlashResult::Interrupted;
    }
    return FlashResult::Failed;
}
} // namespace

CUnitRunner::CUnitRunner(int nIndex, UnitSettings settings, IUnitListener& listener, CSupportLog* pLog)
    : m_nIndex(nIndex), m_settings(std::move(settings)), m_listener(listener), m_pLog(pLog),
      m_engine(*this), m_inhibitor(pLog)
{
    m_report.strPort = m_settings.strPort;
    m_engine.SetWebBaseUrl(m_settings.strService);
    m_engine.SetSupportLog(pLog);
    m_deadline.setSingleShot(true);
    QObject::connect(&m_deadline, &QTimer::timeout, &m_engine, [this] { OnDeadline(); });
}

CUnitRunner::~CUnitRunner()
{
    m_deadline.stop();
}

void CUnitRunner::Start()
{
    m_clock.start();
    StartDeadline();
    m_engine.ChoosePort(m_settings.strPort);
    m_engine.ConnectChosenPort();
    // A port or cable that cannot be opened now will not open by waiting: the library is
    // missing, the cable is not plugged in, or the port is refused.
    if (!IsDone() && !m_engine.IsLinkOpen()) {
        Finish(FlashResult::NoUnit, m_notices.empty() ? "Cannot open " + m_settings.strPort + "." : m_notices.back());
        return;
    }
    if (m_settings.mode == UnitSettings::EMode::EchoTest && !IsDone()) {
        m_deadline.stop();
        m_engine.StartEchoTest();
    }
}

void CUnitRunner::StartDeadline()
{
    m_deadline.start(m_settings.nTimeoutS * MS_PER_S);
}

bool CUnitRunner::IsReady() const
{
    return !m_bDone && !m_bRunning && !m_bAwaitingRestart && m_engine.Phase() == EnginePhase::Identified &&
           m_engine.Snapshot().image.bReady;
}

bool CUnitRunner::IsProgramming() const
{
    return !m_bDone && m_bRunning;
}

std::string CUnitRunner::ModelName() const
{
    return m_report.before.m_strModel.empty() ? std::string(MODEL_KX410) : m_report.before.m_strModel;
}

void CUnitRunner::Message(const std::string& text)
{
    m_strLastMessage = text;
    m_listener.OnUnitMessage(m_nIndex, m_settings.bPrefixPort ? m_settings.strPort + ": " + text : text);
}

bool CUnitRunner::WasShown(const std::string& text) const
{
    return m_strLastMessage == text || std::find(m_notices.begin(), m_notices.end(), text) != m_notices.end();
}

std::string CUnitRunner::Question() const
{
    const DeviceIdentity& unit = m_report.before;
    const std::string target = m_report.strImageVersion.empty() ? std::string("an image that names no version")
                                                                 : VersionText(m_report.strImageVersion);
    return "Update " + unit.m_strModel + " serial " + unit.m_strSerialNumber + " from " +
           VersionText(unit.m_strAppVersion) + " to " + target + "?";
}

// --- what the engine reports ---

void CUnitRunner::OnStatusRow(const std::string& text)
{
    // The support log lists every row, as the window's does.
    if (m_pLog)
        m_pLog->Status(text, m_engine.LinkName());
    const std::string shown = StatusText(text);
    if (m_settings.bVerbose && !shown.empty())
        Message(shown);
}

void CUnitRunner::OnWebStatus(const std::string& text, bool)
{
    if (m_settings.bVerbose && !text.empty())
        Message(text);
}

void CUnitRunner::OnChanged(const EngineSnapshot& snapshot)
{
    m_inhibitor.SetHeld(HoldsOffSleep(snapshot.phase), HoldReason(snapshot.unit));
    const EnginePhase was = std::exchange(m_phase, snapshot.phase);
    if (m_bDone || was == snapshot.phase)
        return;
    // "C" has gone out after the last line: the unit restarts into its new version.
    if (snapshot.phase == EnginePhase::Finished && m_bRunning) {
        m_bRunning = false;
        m_nProgress = m_nProgressMax;
        if (m_bInterrupted) {
            Finish(FlashResult::Interrupted, "Interrupted after the whole image was sent; the " +
                                                 ModelName() + " was not checked.");
            return;
        }
        m_bAwaitingRestart = true;
        StartDeadline();
        Changed();
        return;
    }
    // The unit was let go before it was programmed: it is identified again, and its image
    // checked again.
    if (snapshot.phase == EnginePhase::Connecting && m_bImageAsked && !m_bRunning && !m_bAwaitingRestart) {
        m_bImageAsked = false;
        StartDeadline();
        Changed();
    }
}

void CUnitRunner::OnUnitIdentified(const DeviceIdentity& identity)
{
    if (IsDone() || m_bAwaitingRestart || m_bImageAsked)
        return;
    m_deadline.stop();
    m_report.before = identity;
    if (m_settings.mode == UnitSettings::EMode::Identify) {
        Finish(FlashResult::Identified, "Found " + identity.m_strModel + " serial " + identity.m_strSerialNumber +
                                            ": boot loader " + VersionText(identity.m_strLoaderVersion) +
                                            ", application " + VersionText(identity.m_strAppVersion) + ".");
        return;
    }
    m_bImageAsked = true;
    m_notices.clear();
    if (m_settings.strFile.empty())
        m_engine.GetFromWeb();
    else
        m_engine.LoadImageFile(m_settings.strFile);
    if (!IsDone())
        Changed();
}

void CUnitRunner::OnImageReady(const EngineSnapshot::Image& image)
{
    if (IsDone())
        return;
    m_report.strImageVersion = image.version.value_or(std::string());
    m_report.nTotalLines = image.nLines;
    Changed();
    if (m_bApproved)
        Go();
    else
        m_listener.OnUnitReady(m_nIndex);
}

void CUnitRunner::OnImageRefused(ImageRefusal, const std::string& text)
{
    if (!IsDone())
        Finish(FlashResult::Rejected, NoticeText(text));
}

void CUnitRunner::Go()
{
    m_bApproved = true;
    if (!IsReady())
        return;
    m_nProgress = 0;
    m_nProgressMax = m_report.nTotalLines;
    m_notices.clear();
    m_bRunning = true;
    m_engine.StartProgramming();
    if (!IsDone())
        Changed();
}

void CUnitRunner::Decline(const std::string& text)
{
    if (!IsDone())
        Finish(FlashResult::BadArguments, text);
}

bool CUnitRunner::Interrupt()
{
    if (IsDone())
        return false;
    if (IsProgramming()) {
        m_bInterrupted = true;
        m_engine.InterruptProgramming();
        return true;
    }
    if (m_bAwaitingRestart)
        Finish(FlashResult::Interrupted, "Interrupted while waiting for the " + ModelName() +
                                             " to restart; its version was not checked.");
    else
        Finish(FlashResult::Interrupted, "Interrupted before the update started; nothing was sent.");
    return false;
}

void CUnitRunner::Abandon()
{
    if (IsDone())
        return;
    Finish(FlashResult::Interrupted,
           IsProgramming() ? StoppedAtOnceText(ModelName(), m_engine.Snapshot().progress.nSent,
                                             m_engine.Snapshot().progress.nTotal)
                           : "Interrupted.");
}

void CUnitRunner::OnRunStarted(int nTotalLines)
{
    m_nProgressMax = std::max(nTotalLines, 1);
}

void CUnitRunner::OnProgress(const RunProgress& progress)
{
    // The support log lists every data line: the last one is the one a failed run stopped at.
    if (m_pLog && !progress.strLine.empty())
        m_pLog->Status(progress.strLine, m_engine.LinkName());
    if (!IsProgramming())
        return;
    m_nProgress = progress.nBar;
    Changed();
}

void CUnitRunner::OnEchoEnded(bool bPassed)
{
    if (IsDone())
        return;
    Finish(bPassed ? FlashResult::EchoPassed : FlashResult::EchoFailed,
           m_notices.empty() ? std::string(bPassed ? "Echo test passed." : "Echo test failed.") : m_notices.back());
}

void CUnitRunner::OnRunEnded(const UpdateOutcome& outcome)
{
    if (IsDone())
        return;
    m_deadline.stop();
    if (m_bAwaitingRestart)
        m_report.after = m_engine.Identity();
    const std::string text = NoticeText(outcome.strText);
    // Outcomes that are status lines, not notices, have not been shown yet, unless -v showed
    // the line as the engine gave it.
    if (!WasShown(text))
        Message(text);
    m_report.nLinesSent = outcome.nLinesSent;
    if (outcome.nTotalLines > 0)
        m_report.nTotalLines = outcome.nTotalLines;
    if (!outcome.strImageVersion.empty())
        m_report.strImageVersion = outcome.strImageVersion;
    Finish(m_bInterrupted ? FlashResult::Interrupted : ResultOf(outcome.result), text);
}

void CUnitRunner::OnNotice(const EngineNotice& notice)
{
    const std::string shown = NoticeText(notice.strText);
    if (m_pLog)
        m_pLog->Notice(shown);
    if (IsDone())
        return;
    m_notices.push_back(shown);
    Message(shown);
}

void CUnitRunner::OnDeadline()
{
    if (m_bAwaitingRestart)
        Finish(FlashResult::NotSeenBack,
               "Finished, not verified: every line was taken, but the " + ModelName() +
                   " did not come back within " + std::to_string(m_settings.nTimeoutS) +
                   " s to name its version. Cycle the power to the " + ModelName() +
                   ", then check its version with --identify.");
    else if (!m_bImageAsked)
        Finish(FlashResult::NoUnit, "No " + ModelName() + " answered on " + m_settings.strPort + " within " +
                                        std::to_string(m_settings.nTimeoutS) + " s.");
}

void CUnitRunner::OnLinkDropped(const LinkError&, bool)
{
    if (IsDone() || m_bRunning)
        return;
    const std::string text = m_notices.empty() ? "Cannot open " + m_settings.strPort + "." : m_notices.back();
    if (m_bAwaitingRestart)
        Finish(FlashResult::NotSeenBack, "Finished, not verified: every line was taken, but the " +
                                             ModelName() +
                                             " cannot be reached after the update: " + text);
    else
        Finish(FlashResult::NoUnit, text);
}

// Every event the engine gives comes once its step is done: the unit is let go at once.
void CUnitRunner::Finish(FlashResult result, const std::string& text)
{
    if (IsDone())
        return;
    m_deadline.stop();
    m_inhibitor.SetHeld(false, {});
    m_report.result = result;
    m_report.strText = text;
    m_report.dSeconds = static_cast<double>(m_clock.elapsed()) / MS_PER_S;
    if (m_report.nLinesSent == 0 && (m_bRunning || m_bAwaitingRestart))
        m_report.nLinesSent = m_nProgress;
    if (m_pLog) {
        // Where the run stopped, once an image was there to send.
        const std::string where = m_report.nTotalLines > 0 ? " after " + std::to_string(m_report.nLinesSent) + " of " +
                                                                 std::to_string(m_report.nTotalLines) + " lines"
                                                           : std::string();
        m_pLog->Status(m_settings.strPort + ": " + ResultName(result) + where + ": " + text);
    }
    m_bDone = true;
    // The identity has been shown as the unit answered.
    if (result != FlashResult::Identified && !text.empty() && !WasShown(text))
        Message(text);
    m_engine.ChoosePort({});
    m_engine.CloseLinkAndIdle();
    Changed();
    m_listener.OnUnitDone(m_nIndex);
}
