// The conversation with the unit's bootloader: waking it, identifying the unit, keeping it
// talking, sending the image line by line, finishing the run and checking the unit after it.
#include "device/UpdateEngine.h"

#include "device/DeviceNotices.h"
#include "device/ReceivedText.h"
#include "device/UpdateCheck.h"
#include "platform/SupportLog.h"
#include "res/StringTable.h"

#include <algorithm>
#include <cstring>

namespace {
const char* WAKE_TEXT_FIRST = "15EBaa";
const char* WAKE_TEXT_SECOND = "16EAaa";
const char* LINE_END_TEXT = "aa";
} // namespace

bool CUpdateEngine::WriteWakeText(const char* text)
{
    TraceBytes(true, text);
    if (m_bUsbActive) {
        DWORD written = 0;
        return m_usb.WriteBytes(text, static_cast<DWORD>(std::strlen(text)), &written) == 0;
    }
    return m_serial.WriteText(text, nullptr, nullptr, INFINITE) == 0;
}

void CUpdateEngine::OnWakeTimer()
{
    KillTimer(TIMER_WAKE);
    if (m_bUsbActive) {
        if (!WriteWakeText(WAKE_TEXT_FIRST)) {
            // A cable that could be opened again is woken again at the usual interval.
            ReopenLink();
            if (m_bUsbActive)
                SetTimer(TIMER_WAKE, WAKE_INTERVAL_MS);
            return;
        }
    } else if (!WriteWakeText(WAKE_TEXT_FIRST) && !ReopenLink()) {
        return;
    }
    // The second text follows after a short gap; the unit's answer waits until it has gone.
    BeginStep(WAKE_TEXT_GAP_MS, [this] { SendSecondWakeText(); });
}

void CUpdateEngine::SendSecondWakeText()
{
    if (m_bUsbActive) {
        if (!WriteWakeText(WAKE_TEXT_SECOND)) {
            ReopenLink();
            if (m_bUsbActive)
                SetTimer(TIMER_WAKE, WAKE_INTERVAL_MS);
            return;
        }
        m_events.OnActivity();
        m_strReceived.clear();
        SetTimer(TIMER_WAKE, WAKE_INTERVAL_MS);
        return;
    }
    if (!WriteWakeText(WAKE_TEXT_SECOND) && !ReopenLink())
        return;
    m_strReceived.clear();
    SetTimer(TIMER_WAKE, WAKE_INTERVAL_MS);
    m_events.OnActivity();
}

void CUpdateEngine::OnReceivedText(const std::string& text)
{
    AppendReceivedChunk(m_strReceived, text, RECEIVED_TRIM_CHARS);
    switch (m_nPhase) {
    case PHASE_CONNECTING: {
        // Text before the first place where an identification could begin is noise.
        const IdentificationScan scan = FindIdentification(m_strReceived);
        m_strReceived.erase(0, std::min(scan.pos, m_strReceived.size()));
        if (scan.bComplete) {
            IdentifyUnit();
            return;
        }
        // A text on its way gets its second; noise does not hold the wake-up back.
        if (scan.pos != std::string::npos)
            SetTimer(TIMER_WAKE, WAKE_INTERVAL_MS);
        return;
    }
    case PHASE_IDENTIFIED:
        m_strReceived.clear();
        SetTimer(TIMER_SILENCE, SILENCE_TIMEOUT_MS);
        SendText("A");
        return;
    case PHASE_PROGRAMMING:
        SetTimer(TIMER_PROGRAM_REPLY, PROGRAM_REPLY_TIMEOUT_MS);
        if (m_strReceived.find('.') != std::string::npos) {
            m_strReceived.clear();
            if (m_image.m_lines.empty())
                FinishProgramming();
            else if (m_bInterruptRequested)
                EndRun(UpdateResult::Interrupted,
                       "Update stopped after line " + std::to_string(m_nLinesSent) + " of " +
                           std::to_string(m_nRunLines) + ". The " + m_identity.m_strModel +
                           " must be updated again before it is used.");
            else
                SendNextDataLine();
            return;
        }
        if (m_strReceived.find('/') != std::string::npos) {
            KillTimer(TIMER_PROGRAM_REPLY);
            m_strReceived.clear();
            EndRun(UpdateResult::Corrupt, CorruptProgramNotice(m_identity.m_strModel));
            return;
        }
        KeepRecentReceived();
        return;
    case PHASE_FINISHED:
        m_bFinishAnswered = true;
        ReportUpdateDone();
        m_strReceived.clear();
        SetTimer(TIMER_SILENCE, SILENCE_TIMEOUT_MS);
        SendText("C");
        return;
    default:
        KeepRecentReceived(); // idle: the text is only collected
        return;
    }
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
    KillTimer(TIMER_WAKE);
    AdvanceGeneration();
    CancelFetch("the unit was identified again");
    ClearLog();
    m_events.OnProgress(0);
    for (const auto& line : ParseIdentification(m_strReceived, m_identity))
        Log(line);
    m_strReceived.clear();
    if (m_bFetchDropped && m_droppedFetchUnit.m_strSerialNumber != m_identity.m_strSerialNumber)
        LogUnusedImage("fetched", m_droppedFetchUnit, "another unit is connected");
    m_bFetchDropped = false;
    Enable(EngineControl::PortList, false);
    Enable(EngineControl::Detect, false);
    Enable(EngineControl::OpenFile, true);
    Enable(EngineControl::GetFromWeb, true);
    m_events.OnFocus(EngineControl::OpenFile);
    SetPhase(PHASE_IDENTIFIED);
    m_events.OnIdentified(m_identity);
    SendText("A");
    // The moment counts as a first keep-alive: the unit hears "A" twice.
    m_strReceived.clear();
    SetTimer(TIMER_SILENCE, SILENCE_TIMEOUT_MS);
    SendText("A");
    // The unit has its answer before the verdict on an update is given.
    CheckUpdatedUnit();
}

// The first identification after the reboot that follows a whole run: the verdict is a status
// line; a notice only when the same unit is back within its reboot window, still on its old
// version. The notice waits until the current event is done, so the unit is never held up.
void CUpdateEngine::CheckUpdatedUnit()
{
    if (!m_bAwaitingCheck)
        return;
    m_bAwaitingCheck = false;
    const bool bWithinWindow = IsTimerRunning(TIMER_REBOOT_WINDOW);
    KillTimer(TIMER_REBOOT_WINDOW);
    const UpdateCheck check = ::CheckUpdatedUnit(m_strSentVersion, m_updatedUnit, m_identity);
    UpdateOutcome outcome{check.result, check.strText, m_nLinesSent, m_nRunLines, m_strSentVersion,
                          check.bNotice && bWithinWindow};
    Log(check.strText);
    m_events.OnUpdateEnded(outcome);
    if (check.bNotice && bWithinWindow)
        ShowNoticeLater(check.strText);
}

// Takes the next data line from the image, logs it and sends it followed by "aa".
void CUpdateEngine::SendDataLine()
{
    const std::string line = m_image.m_lines.front();
    m_image.m_lines.pop_front();
    // One trace entry holds the line and the unit's answer; the status line does not repeat it.
    if (m_pSupportLog != nullptr)
        m_pSupportLog->DataLine(line, this);
    Log(line);
    WriteToLink(line + LINE_END_TEXT);
    ++m_nLinesSent;
}

void CUpdateEngine::SendNextDataLine()
{
    SendDataLine();
    m_events.OnProgress(m_image.m_nTotalLines - static_cast<int>(m_image.m_lines.size()));
}

void CUpdateEngine::StartProgramming()
{
    KillTimer(TIMER_SILENCE);
    m_bAwaitingCheck = false;
    KillTimer(TIMER_REBOOT_WINDOW);
    m_bReportOwed = false;
    m_bFinishAnswered = false;
    m_bInterruptRequested = false;
    m_nLinesSent = 0;
    m_nRunLines = m_image.m_nTotalLines;
    m_events.OnProgressRange(std::max(m_image.m_nTotalLines, 1));
    m_events.OnProgress(0);
    SetImageButtons(false, false, false);
    Enable(EngineControl::PortList, false);
    Enable(EngineControl::Detect, false);
    SetPhase(PHASE_PROGRAMMING);
    if (m_image.m_lines.empty()) {
        KillTimer(TIMER_PROGRAM_REPLY);
        EndRun(UpdateResult::Empty, LoadString(IDS_UNEXPECTED_EOF));
        return;
    }
    // The bar stays at 0 for the first line; it moves from the second on.
    SendDataLine();
    KillTimer(TIMER_WAKE);
    SetTimer(TIMER_PROGRAM_REPLY, PROGRAM_REPLY_TIMEOUT_MS);
}

void CUpdateEngine::InterruptProgramming()
{
    if (m_nPhase == PHASE_PROGRAMMING)
        m_bInterruptRequested = true;
}

// A run that did not finish: the user is told, the list is cleared and the link reset.
void CUpdateEngine::EndRun(UpdateResult result, const std::string& text)
{
    KillTimer(TIMER_PROGRAM_REPLY);
    m_bInterruptRequested = false;
    m_events.OnUpdateEnded({result, text, m_nLinesSent, m_nRunLines, ImageVersion(), true});
    ShowNotice(text);
    ClearLog();
    ResetConnection();
}

void CUpdateEngine::FinishProgramming()
{
    KillTimer(TIMER_PROGRAM_REPLY);
    m_strReceived.clear();
    std::vector<std::string> lines{"Programming successful. "};
    if (m_identity.m_strModel == MODEL_KX410)
        lines.emplace_back("Please unplug the Tetherix and power off your kx410.");
    lines.emplace_back("Before you fly ensure that the controls operate correctly.");
    for (const auto& line : lines)
        Log(line);
    m_events.OnProgrammingSucceeded(lines);
    // The unit took every line: a web image's report is owed from now on, and the unit,
    // identified again after its reboot, must then run the image's version.
    m_bReportOwed = m_image.m_bFromWeb;
    m_updatedUnit = m_identity;
    m_strSentVersion = ImageVersion();
    m_bFinishAnswered = false;
    BeginStep(FINISH_PAUSE_MS, [this] { SendFinish(); });
}

void CUpdateEngine::SendFinish()
{
    SetPhase(PHASE_FINISHED);
    SendText("C");
    // A unit that never answers "C" (pulled, or dead) is let go like one that goes quiet.
    SetTimer(TIMER_SILENCE, SILENCE_TIMEOUT_MS);
}

void CUpdateEngine::OnSilenceTimer()
{
    KillTimer(TIMER_SILENCE);
    // A unit that answered after "C" and now goes quiet is rebooting into its new version.
    const bool bReboot = m_nPhase == PHASE_FINISHED && m_bFinishAnswered;
    m_bDropReceived = true;
    ClearLog();
    CancelFetch("the " + m_identity.m_strModel + " stopped answering");
    ResetConnection();
    if (bReboot) {
        m_bAwaitingCheck = true;
        SetTimer(TIMER_REBOOT_WINDOW, REBOOT_WINDOW_MS);
    }
    m_strReceived.clear();
    m_bDropReceived = false;
}

void CUpdateEngine::OnProgramReplyTimer()
{
    KillTimer(TIMER_PROGRAM_REPLY);
    SetPhase(PHASE_IDLE);
    EndRun(UpdateResult::Silent, UpdateFailedNotice(m_identity.m_strModel));
}
