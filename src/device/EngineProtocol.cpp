// The conversation with the unit's bootloader: waking it, identifying the unit, keeping it
// talking, sending the image line by line, finishing the run and checking the unit after it.
#include "device/UpdateEngine.h"

#include "device/DeviceNotices.h"
#include "device/ReceivedText.h"
#include "device/UpdateCheck.h"
#include "platform/SupportLog.h"
#include "res/StringTable.h"

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
    case PHASE_CONNECTING:
        AlignIdentification(m_strReceived);
        if (!IdentificationComplete(m_strReceived)) {
            SetTimer(TIMER_WAKE, WAKE_INTERVAL_MS);
            return;
        }
        IdentifyUnit();
        return;
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
    ClearLog();
    m_events.OnProgress(0);
    for (const auto& line : ParseIdentification(m_strReceived, m_identity))
        Log(line);
    m_strReceived.clear();
    Enable(EngineControl::PortList, false);
    Enable(EngineControl::Detect, false);
    Enable(EngineControl::OpenFile, true);
    Enable(EngineControl::GetFromWeb, true);
    m_events.OnFocus(EngineControl::OpenFile);
    SetPhase(PHASE_IDENTIFIED);
    m_events.OnIdentified(m_identity);
    CheckUpdatedUnit();
    SendText("A");
    // The moment counts as a first keep-alive: the unit hears "A" twice.
    m_strReceived.clear();
    SetTimer(TIMER_SILENCE, SILENCE_TIMEOUT_MS);
    SendText("A");
}

void CUpdateEngine::CheckUpdatedUnit()
{
    if (!m_bAwaitingCheck)
        return;
    m_bAwaitingCheck = false;
    const UpdateCheck check = ::CheckUpdatedUnit(m_strSentVersion, m_strSentToSerial, m_identity);
    UpdateOutcome outcome{check.result, check.strText, m_nLinesSent, m_nRunLines, m_strSentVersion,
                          check.bNotice};
    if (check.bNotice)
        ShowNotice(check.strText);
    else
        Log(check.strText);
    m_events.OnUpdateEnded(outcome);
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
    // The unit, identified again after it restarts, must then run the image's version.
    m_bAwaitingCheck = true;
    m_strSentVersion = ImageVersion();
    m_strSentToSerial = m_identity.m_strSerialNumber;
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
    m_bDropReceived = true;
    ClearLog();
    ResetConnection();
    m_strReceived.clear();
    m_bDropReceived = false;
}

void CUpdateEngine::OnProgramReplyTimer()
{
    KillTimer(TIMER_PROGRAM_REPLY);
    SetPhase(PHASE_IDLE);
    EndRun(UpdateResult::Silent, UpdateFailedNotice(m_identity.m_strModel));
}
