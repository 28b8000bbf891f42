#include "cli/UnitRunner.h"

#include "device/UpdateCheck.h"
#include "device/UpdateHold.h"
#include "device/UpdateRecord.h"
#include "platform/SupportLog.h"

#include <algorithm>

namespace {
constexpr int MS_PER_S = 1000;

// Data lines of the image are logged as they are sent; they are no news to a user.
bool IsDataLine(const std::string& text)
{
    return !text.empty() && text.front() == ':';
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        if (line.empty())
            continue;
        if (!text.empty())
            text += ' ';
        text += line;
    }
    return text;
}

FlashResult ResultOf(UpdateResult result)
{
    switch (result) {
    case UpdateResult::Verified: return FlashResult::Verified;
    case UpdateResult::NotVerified:
    case UpdateResult::NoVersion: return FlashResult::NotVerified;
    case UpdateResult::Corrupt:
    case UpdateResult::Silent: return FlashResult::Failed;
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
    m_engine.ConnectSelectedPort();
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

std::string CUnitRunner::ModelName() const
{
    return m_report.before.m_strModel.empty() ? std::string(MODEL_KX410) : m_report.before.m_strModel;
}

void CUnitRunner::Message(const std::string& text)
{
    m_strLastMessage = text;
    m_listener.OnUnitMessage(m_nIndex, m_settings.bPrefixPort ? m_settings.strPort + ": " + text : text);
}

void CUnitRunner::SetState(EState state)
{
    m_state = state;
    m_listener.OnUnitChanged(m_nIndex);
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

void CUnitRunner::OnLogLine(const std::string& text)
{
    // The support log lists every line, as the window's does: the last data line logged is
    // the one a failed run stopped at.
    if (m_pLog)
        m_pLog->Status(text, m_engine.LinkName());
    if (IsDataLine(text))
        return;
    m_checkLines.push_back(text);
    const std::string shown = StatusText(text);
    if (m_settings.bVerbose && !shown.empty())
        Message(shown);
}

void CUnitRunner::OnWebStatus(const std::string& text, bool)
{
    if (m_settings.bVerbose && !text.empty())
        Message(text);
}

void CUnitRunner::OnProgressRange(int nMax)
{
    m_nProgressMax = nMax;
}

void CUnitRunner::OnProgress(int nValue)
{
    if (m_state != EState::Programming)
        return;
    m_nProgress = nValue;
    m_listener.OnUnitChanged(m_nIndex);
}

void CUnitRunner::OnEnable(EngineControl control, bool bEnabled)
{
    if (control == EngineControl::Send)
        m_bSendEnabled = bEnabled;
    // The web service's answer re-enables the image buttons first; the verdict follows, and is
    // read once the engine has finished with the answer.
    if (control == EngineControl::OpenFile && bEnabled && m_state == EState::FetchingImage)
        QTimer::singleShot(0, &m_engine, [this] { AfterWebAnswer(); });
}

void CUnitRunner::OnPhase(int nPhase)
{
    m_inhibitor.SetHeld(HoldsOffSleep(nPhase), HoldReason(m_engine.Identity()));
    if (nPhase == PHASE_FINISHED && m_state == EState::Programming) {
        m_nProgress = m_nProgressMax;
        if (m_bInterrupted) {
            Finish(FlashResult::Interrupted, "Interrupted after the whole image was sent; the " +
                                                 ModelName() + " was not checked.");
            return;
        }
        SetState(EState::Checking);
        StartDeadline();
        return;
    }
    // The unit was let go before it was programmed: it is identified again, and its image
    // checked again.
    if (nPhase == PHASE_CONNECTING && (m_state == EState::FetchingImage || m_state == EState::Ready)) {
        SetState(EState::Connecting);
        StartDeadline();
    }
}

void CUnitRunner::OnNotice(const std::string& text)
{
    const std::string shown = NoticeText(text);
    if (m_pLog)
        m_pLog->Notice(shown);
    if (IsDone())
        return;
    m_notices.push_back(shown);
    Message(shown);
}

void CUnitRunner::OnMessageBox(const std::string& text)
{
    OnNotice(text);
    if (m_state == EState::FetchingImage)
        Finish(FlashResult::Rejected, NoticeText(text));
}

void CUnitRunner::OnIdentified(const DeviceIdentity& identity)
{
    if (IsDone())
        return;
    if (m_state == EState::Checking) {
        m_report.after = identity; // the engine's check follows at once
        return;
    }
    if (m_state != EState::Connecting)
        return;
    m_deadline.stop();
    m_report.before = identity;
    if (m_settings.mode == UnitSettings::EMode::Identify) {
        Finish(FlashResult::Identified, "Found " + identity.m_strModel + " serial " + identity.m_strSerialNumber +
                                            ": boot loader " + VersionText(identity.m_strLoaderVersion) +
                                            ", application " + VersionText(identity.m_strAppVersion) + ".");
        return;
    }
    // The engine finishes greeting the unit before the image is asked for.
    QTimer::singleShot(0, &m_engine, [this] { LoadImage(); });
}

void CUnitRunner::LoadImage()
{
    if (m_state != EState::Connecting)
        return;
    m_checkLines.clear();
    m_notices.clear();
    if (m_settings.strFile.empty()) {
        SetState(EState::FetchingImage);
        m_engine.GetFromWeb();
        return;
    }
    if (!m_engine.LoadImageFile(m_settings.strFile)) {
        Finish(FlashResult::Rejected, m_notices.empty() ? Joined(m_checkLines) : m_notices.back());
        return;
    }
    BecomeReady();
}

void CUnitRunner::AfterWebAnswer()
{
    if (m_state != EState::FetchingImage)
        return;
    if (m_bSendEnabled) {
        BecomeReady();
        return;
    }
    if (m_engine.IsWebRequestRunning())
        return;
    Finish(FlashResult::Rejected, Joined(m_checkLines));
}

void CUnitRunner::BecomeReady()
{
    m_report.strImageVersion = m_engine.ImageVersion();
    m_report.nTotalLines = m_engine.ImageLineCount();
    SetState(EState::Ready);
    if (m_bApproved)
        Go();
    else
        m_listener.OnUnitReady(m_nIndex);
}

void CUnitRunner::Go()
{
    m_bApproved = true;
    if (m_state != EState::Ready)
        return;
    m_nProgress = 0;
    m_nProgressMax = m_report.nTotalLines;
    m_notices.clear();
    SetState(EState::Programming);
    m_engine.StartProgramming();
}

void CUnitRunner::Decline(const std::string& text)
{
    if (!IsDone())
        Finish(FlashResult::BadArguments, text);
}

bool CUnitRunner::Interrupt()
{
    switch (m_state) {
    case EState::Done: return false;
    case EState::Programming:
        m_bInterrupted = true;
        m_engine.InterruptProgramming();
        return true;
    case EState::Checking:
        Finish(FlashResult::Interrupted, "Interrupted while waiting for the " + ModelName() +
                                             " to restart; its version was not checked.");
        return false;
    default:
        Finish(FlashResult::Interrupted, "Interrupted before the update started; nothing was sent.");
        return false;
    }
}

void CUnitRunner::Abandon()
{
    if (IsDone())
        return;
    const bool bProgramming = m_state == EState::Programming;
    Finish(FlashResult::Interrupted,
           bProgramming ? StoppedAtOnceText(ModelName(), m_nProgress, m_report.nTotalLines) : "Interrupted.");
}

void CUnitRunner::OnEchoEnded(bool bPassed)
{
    if (IsDone())
        return;
    Finish(bPassed ? FlashResult::EchoPassed : FlashResult::EchoFailed,
           m_notices.empty() ? std::string(bPassed ? "Echo test passed." : "Echo test failed.") : m_notices.back());
}

void CUnitRunner::OnUpdateEnded(const UpdateOutcome& outcome)
{
    if (IsDone() || m_bOutcomePending)
        return;
    m_deadline.stop();
    m_outcome = outcome;
    m_bOutcomePending = true;
    // A failure's notice and the link's reset follow this call; the unit is let go after them.
    QTimer::singleShot(0, &m_engine, [this] { FinishFromOutcome(); });
}

void CUnitRunner::FinishFromOutcome()
{
    m_bOutcomePending = false;
    if (IsDone())
        return;
    const std::string text = NoticeText(m_outcome.strText);
    // Outcomes that are status lines, not notices, have not been shown yet, unless -v showed
    // the line as the engine gave it.
    if (m_strLastMessage != text && std::find(m_notices.begin(), m_notices.end(), text) == m_notices.end())
        Message(text);
    m_report.nLinesSent = m_outcome.nLinesSent;
    if (m_outcome.nTotalLines > 0)
        m_report.nTotalLines = m_outcome.nTotalLines;
    if (!m_outcome.strImageVersion.empty())
        m_report.strImageVersion = m_outcome.strImageVersion;
    const FlashResult result = m_bInterrupted ? FlashResult::Interrupted : ResultOf(m_outcome.result);
    Finish(result, text);
}

void CUnitRunner::OnDeadline()
{
    if (m_state == EState::Connecting)
        Finish(FlashResult::NoUnit, "No " + ModelName() + " answered on " + m_settings.strPort + " within " +
                                        std::to_string(m_settings.nTimeoutS) + " s.");
    else if (m_state == EState::Checking)
        Finish(FlashResult::NotVerified,
               "The " + ModelName() + " did not come back within " + std::to_string(m_settings.nTimeoutS) +
                   " s after the update, so its version is unknown. Cycle the power to the " + ModelName() +
                   " and identify it.");
}

std::string CUnitRunner::SelectedPort()
{
    return IsDone() ? std::string() : m_settings.strPort;
}

void CUnitRunner::OnPortChoiceDropped(bool)
{
    if (IsDone() || m_bOutcomePending || m_state == EState::Programming)
        return;
    const std::string text = m_notices.empty() ? "Cannot open " + m_settings.strPort + "." : m_notices.back();
    if (m_state == EState::Checking)
        Finish(FlashResult::NotVerified, "The " + ModelName() + " cannot be reached after the update: " + text);
    else
        Finish(FlashResult::NoUnit, text);
}

void CUnitRunner::Finish(FlashResult result, const std::string& text)
{
    if (IsDone())
        return;
    m_deadline.stop();
    m_inhibitor.SetHeld(false, {});
    m_report.result = result;
    m_report.strText = text;
    m_report.dSeconds = static_cast<double>(m_clock.elapsed()) / MS_PER_S;
    if (m_report.nLinesSent == 0 && (m_state == EState::Programming || m_state == EState::Checking))
        m_report.nLinesSent = m_nProgress;
    if (m_pLog) {
        // Where the run stopped, once an image was there to send.
        const std::string where = m_report.nTotalLines > 0 ? " after " + std::to_string(m_report.nLinesSent) + " of " +
                                                                 std::to_string(m_report.nTotalLines) + " lines"
                                                           : std::string();
        m_pLog->Status(m_settings.strPort + ": " + ResultName(result) + where + ": " + text);
    }
    m_state = EState::Done;
    // The identity has been shown as the unit answered.
    const bool bShown = m_strLastMessage == text ||
                        std::find(m_notices.begin(), m_notices.end(), text) != m_notices.end();
    if (result != FlashResult::Identified && !text.empty() && !bShown)
        Message(text);
    // The unit is let go once the engine has finished with the current event.
    QTimer::singleShot(0, &m_engine, [this] { m_engine.CloseLinkAndIdle(); });
    m_listener.OnUnitChanged(m_nIndex);
    m_listener.OnUnitDone(m_nIndex);
}
