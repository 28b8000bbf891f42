// The conversation with the unit's bootloader: waking it, identifying the unit, keeping it
// talking, sending the image line by line, finishing the run and checking the unit after it.
#include "device/UpdateEngine.h"

#include "device/DeviceNotices.h"
#include "device/ReceivedText.h"
#include "device/UpdateCheck.h"
#include "platform/SupportLog.h"
#include "res/StringTable.h"

#include <algorithm>

namespace {
const char* const WAKE_TEXT_FIRST = "15EBaa";
const char* const WAKE_TEXT_SECOND = "16EAaa";
const char* const LINE_END_TEXT = "aa";
} // namespace

// A wake-up text that cannot be written opens the link again: a serial port at once, after
// which waking goes on; the USB cable once it allows, after which waking starts anew.
void CUpdateEngine::OnWakeDeadline()
{
    if (!SendText(WAKE_TEXT_FIRST)) {
        if (!ReopenLink(EngineState::Reopening)) {
            // Shown as connecting (Exit closes at once) until a port is chosen.
            Enter(EngineState::Starting);
            return;
        }
        if (IsUsbLink())
            return;
    }
    // The second text follows after a short gap; the unit's answer waits until it has gone.
    Enter(EngineState::WakeGap);
}

void CUpdateEngine::OnWakeGapEnd()
{
    if (!SendText(WAKE_TEXT_SECOND)) {
        if (!ReopenLink(EngineState::Reopening)) {
            // Shown as connecting (Exit closes at once) until a port is chosen.
            Enter(EngineState::Starting);
            return;
        }
        if (IsUsbLink())
            return;
    }
    m_strReceived.clear();
    Enter(EngineState::Waking);
    m_events.OnActivity();
}

void CUpdateEngine::OnReceivedText(const std::string& text)
{
    AppendReceivedChunk(m_strReceived, text, RECEIVED_TRIM_CHARS);
    switch (m_state) {
    case EngineState::Waking:
    case EngineState::WakePaused: OnConnectingText(); return;
    case EngineState::Identified:
        m_strReceived.clear();
        RestartDeadline();
        SendText(std::string(KEEP_ALIVE_TEXT));
        return;
    case EngineState::Programming: {
        RestartDeadline();
        const bool bTaken = m_strReceived.find('.') != std::string::npos;
        if (!bTaken && m_strReceived.find('/') == std::string::npos) {
            KeepRecentReceived();
            return;
        }
        m_strReceived.clear();
        // The line's reply is whole: its entry comes before what the reply leads to.
        if (CSupportLog* pLog = m_session.SupportLog(); pLog != nullptr)
            pLog->LineAnswered(m_session.Name());
        if (bTaken)
            OnAcknowledgement();
        else
            EndRun(UpdateResult::Corrupt, CorruptProgramNotice(m_identity.m_strModel));
        return;
    }
    case EngineState::Finishing:
        m_bFinishAnswered = true;
        ReportUpdateDone();
        m_strReceived.clear();
        RestartDeadline();
        SendText("C");
        return;
    default:
        KeepRecentReceived(); // idle: the text is only collected
        return;
    }
}

void CUpdateEngine::OnConnectingText()
{
    // Text before the first place where an identification could begin is noise.
    const IdentificationScan scan = FindIdentification(m_strReceived);
    m_strReceived.erase(0, std::min(scan.pos, m_strReceived.size()));
    if (scan.bComplete) {
        IdentifyUnit();
        return;
    }
    // A text on its way gets its second; noise does not hold the wake-up back.
    if (scan.pos != std::string::npos && m_state == EngineState::Waking)
        RestartDeadline();
}

void CUpdateEngine::KeepRecentReceived()
{
    // Text that is only collected is never searched beyond its newest characters: a unit
    // that keeps talking must not make the buffer grow for as long as it talks.
    if (m_strReceived.size() > RECEIVED_TRIM_CHARS)
        m_strReceived.erase(0, m_strReceived.size() - RECEIVED_TRIM_CHARS);
}

void CUpdateEngine::IdentifyUnit()
{
    AdvanceGeneration();
    CancelFetch("the unit was identified again");
    ClearLog();
    SetBar(0);
    for (const auto& line : ParseIdentification(m_strReceived, m_identity))
        Log(line);
    Log("Press Open File or Get from Web");
    m_strReceived.clear();
    if (m_bFetchDropped && m_droppedFetchUnit.m_strSerialNumber != m_identity.m_strSerialNumber)
        LogUnusedImage("fetched", m_droppedFetchUnit, "another unit is connected");
    m_bFetchDropped = false;
    m_bImageReady = false; // an image is checked anew for the unit
    Enter(EngineState::Identified);
    SendText(std::string(KEEP_ALIVE_TEXT));
    // The moment counts as a first keep-alive: the unit hears "A" twice.
    m_strReceived.clear();
    RestartDeadline();
    SendText(std::string(KEEP_ALIVE_TEXT));
    // A finished run whose reboot went unseen is recorded as finished, before a face can start
    // another.
    if (!m_bAwaitingCheck)
        SettleRecord();
    m_events.OnUnitIdentified(m_identity);
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
    const UpdateCheck check = ::CheckUpdatedUnit(m_strSentVersion, m_updatedUnit, m_identity);
    const bool bNotice = check.bNotice && bWithinWindow;
    UpdateOutcome outcome{check.result, check.strText, m_nLinesSent, m_nRunLines, m_strSentVersion,
                          bNotice};
    Log(check.strText);
    if (m_pRecorder)
        m_pRecorder->RunChecked(outcome, m_identity);
    m_events.OnRunEnded(outcome);
    if (bNotice)
        ShowNotice(NoticeKind::NotVerified, check.strText);
}

// Takes the next data line from the image, logs it and sends it followed by "aa". A line the
// link does not take ends the run at once: no answer can come.
bool CUpdateEngine::SendDataLine()
{
    const std::string line = m_image.m_lines.front();
    m_image.m_lines.pop_front();
    // One trace entry holds the line and the unit's answer; the status line does not repeat it.
    if (CSupportLog* pLog = m_session.SupportLog(); pLog != nullptr)
        pLog->DataLine(line, m_session.Name());
    if (m_session.Write(line + LINE_END_TEXT, CLinkSession::TraceAs::Untraced)) {
        EndRun(UpdateResult::LinkLost, UpdateFailedNotice(m_identity.m_strModel));
        return false;
    }
    ++m_nLinesSent;
    // The bar stays at 0 for the first line; it moves from the second on.
    m_events.OnProgress({line, m_nLinesSent, m_nLinesSent > 1 ? m_nLinesSent : 0});
    return true;
}

void CUpdateEngine::StartProgramming()
{
    DropAwaitedCheck();
    m_bReportOwed = false;
    m_bFinishAnswered = false;
    m_bInterruptRequested = false;
    m_nLinesSent = 0;
    m_nRunLines = m_image.m_nTotalLines;
    if (m_pRecorder)
        m_pRecorder->RunStarted(m_identity, m_strImageSource, ImageVersion(), m_nRunLines);
    m_events.OnRunStarted(m_nRunLines);
    m_bImageReady = false; // taken by the run
    Enter(EngineState::Programming);
    if (m_image.m_lines.empty()) {
        EndRun(UpdateResult::Empty, LoadString(IDS_UNEXPECTED_EOF));
        return;
    }
    if (SendDataLine())
        RestartDeadline();
}

void CUpdateEngine::InterruptProgramming()
{
    if (m_state == EngineState::Programming)
        m_bInterruptRequested = true;
}

void CUpdateEngine::OnAcknowledgement()
{
    if (m_image.m_lines.empty())
        FinishProgramming();
    else if (m_bInterruptRequested)
        EndRun(UpdateResult::Interrupted,
               "Update stopped after line " + std::to_string(m_nLinesSent) + " of " +
                   std::to_string(m_nRunLines) + ". The " + m_identity.m_strModel +
                   " must be updated again before it is used.");
    else
        SendDataLine();
}

// A run that did not finish: the user is told, the list is cleared and the link reset. While
// the notice is open nothing more goes to the unit.
void CUpdateEngine::EndRun(UpdateResult result, const std::string& text)
{
    m_bInterruptRequested = false;
    Enter(EngineState::Idle);
    const UpdateOutcome outcome{result, text, m_nLinesSent, m_nRunLines, ImageVersion(), true};
    if (m_pRecorder)
        m_pRecorder->RunEnded(outcome);
    ShowNotice(NoticeKind::RunFailed, text);
    ClearLog();
    ResetConnection();
    m_events.OnRunEnded(outcome);
}

void CUpdateEngine::FinishProgramming()
{
    m_strReceived.clear();
    std::vector<std::string> lines{"Programming successful. "};
    if (m_identity.m_strModel == MODEL_KX410)
        lines.emplace_back("Please unplug the Tetherix and power off your kx410.");
    lines.emplace_back("Before you fly ensure that the controls operate correctly.");
    for (const auto& line : lines)
        Log(line);
    m_events.OnRunSucceeded(lines);
    if (m_pRecorder)
        m_pRecorder->RunFinished(m_nLinesSent, "Programming successful.");
    // The unit took every line: a web image's report is owed from now on, and the unit,
    // identified again after its reboot, must then run the image's version.
    m_bReportOwed = m_image.m_bFromWeb;
    m_updatedUnit = m_identity;
    m_strSentVersion = ImageVersion();
    m_bFinishAnswered = false;
    Enter(EngineState::FinishPause);
}

void CUpdateEngine::SendFinish()
{
    // A unit that never answers "C" (pulled, or dead) is let go like one that goes quiet.
    SendText("C");
    Enter(EngineState::Finishing);
}

void CUpdateEngine::OnSilence()
{
    // A unit that answered after "C" and now goes quiet is rebooting into its new version.
    const bool bReboot = m_state == EngineState::Finishing && m_bFinishAnswered;
    // A unit that never answered "C" is not expected back: its run is recorded as finished.
    if (!bReboot)
        SettleRecord();
    Enter(EngineState::Idle);
    ClearLog();
    CancelFetch("the " + m_identity.m_strModel + " stopped answering");
    ResetConnection();
    if (bReboot) {
        m_bAwaitingCheck = true;
        m_pRebootWindow->Start(REBOOT_WINDOW_MS);
    }
    m_strReceived.clear();
}

void CUpdateEngine::OnProgramReplyTimeout()
{
    EndRun(UpdateResult::Silent, UpdateFailedNotice(m_identity.m_strModel));
}
