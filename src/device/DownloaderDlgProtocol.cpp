// The conversation with the unit's bootloader: waking it, identifying the unit, keeping it
// talking, sending the image line by line and finishing the run.
#include "app/DownloaderDlg.h"

#include "app/PortCombo.h"
#include "device/DeviceNotices.h"
#include "device/ReceivedText.h"
#include "res/StringTable.h"

#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

namespace {
constexpr int WAKE_TEXT_GAP_MS = 50;       // between the two wake-up texts
constexpr int FINISH_PAUSE_MS = 500;       // after the last acknowledgement, before "C"
const char* WAKE_TEXT_FIRST = "15EBaa";
const char* WAKE_TEXT_SECOND = "16EAaa";
const char* LINE_END_TEXT = "aa";
} // namespace

bool CDownloaderDlg::WriteWakeText(const char* text)
{
    if (m_bUsbActive) {
        DWORD written = 0;
        return m_usb.WriteBytes(text, static_cast<DWORD>(std::strlen(text)), &written) == 0;
    }
    return m_serial.WriteText(text, nullptr, nullptr, INFINITE) == 0;
}

void CDownloaderDlg::OnWakeTimer()
{
    KillTimer(TIMER_WAKE);
    if (m_bUsbActive) {
        if (!WriteWakeText(WAKE_TEXT_FIRST)) {
            ReopenLink();
            return;
        }
        Pause(WAKE_TEXT_GAP_MS);
        if (!WriteWakeText(WAKE_TEXT_SECOND)) {
            ReopenLink();
            return;
        }
        ShowActivity();
        m_strReceived.clear();
        SetTimer(TIMER_WAKE, WAKE_INTERVAL_MS);
        return;
    }
    if (!WriteWakeText(WAKE_TEXT_FIRST) && !ReopenLink())
        return;
    Pause(WAKE_TEXT_GAP_MS);
    if (!WriteWakeText(WAKE_TEXT_SECOND) && !ReopenLink())
        return;
    m_strReceived.clear();
    SetTimer(TIMER_WAKE, WAKE_INTERVAL_MS);
    ShowActivity();
}

void CDownloaderDlg::OnReceivedText(const std::string& text)
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
            else
                SendNextDataLine();
            return;
        }
        if (m_strReceived.find('/') != std::string::npos) {
            KillTimer(TIMER_PROGRAM_REPLY);
            m_strReceived.clear();
            ShowNotice(CorruptProgramNotice(m_identity.m_strModel));
            m_list->clear();
            ResetConnection();
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

void CDownloaderDlg::KeepRecentReceived()
{
    // Text that is only collected is never searched beyond its newest characters: a unit
    // that keeps talking must not make the buffer grow for as long as it talks.
    if (m_strReceived.size() > RECEIVED_TRIM_CHARS)
        m_strReceived.erase(0, m_strReceived.size() - RECEIVED_TRIM_CHARS);
}

void CDownloaderDlg::IdentifyUnit()
{
    KillTimer(TIMER_WAKE);
    m_list->clear();
    m_progress->setValue(0);
    for (const auto& line : ParseIdentification(m_strReceived, m_identity))
        LogLine(line);
    m_strReceived.clear();
    m_comboPort->setEnabled(false);
    m_btnDetect->setEnabled(false);
    m_btnOpenFile->setEnabled(true);
    m_btnGetFromWeb->setEnabled(true);
    m_btnOpenFile->setFocus();
    m_nPhase = PHASE_IDENTIFIED;
    SendText("A");
    // The moment counts as a first keep-alive: the unit hears "A" twice.
    m_strReceived.clear();
    SetTimer(TIMER_SILENCE, SILENCE_TIMEOUT_MS);
    SendText("A");
}

void CDownloaderDlg::SendNextDataLine()
{
    const std::string line = m_image.m_lines.front();
    m_image.m_lines.pop_front();
    LogLine(line);
    SendText(line + LINE_END_TEXT);
    m_progress->setValue(m_image.m_nTotalLines - static_cast<int>(m_image.m_lines.size()));
}

void CDownloaderDlg::StartProgramming()
{
    KillTimer(TIMER_SILENCE);
    m_progress->setRange(0, std::max(m_image.m_nTotalLines, 1));
    m_progress->setValue(0);
    SetImageButtons(false, false, false);
    m_comboPort->setEnabled(false);
    m_btnDetect->setEnabled(false);
    m_nPhase = PHASE_PROGRAMMING;
    if (m_image.m_lines.empty()) {
        KillTimer(TIMER_PROGRAM_REPLY);
        ShowNotice(LoadString(IDS_UNEXPECTED_EOF));
        m_list->clear();
        ResetConnection();
        return;
    }
    const std::string line = m_image.m_lines.front();
    m_image.m_lines.pop_front();
    LogLine(line);
    SendText(line + LINE_END_TEXT);
    KillTimer(TIMER_WAKE);
    SetTimer(TIMER_PROGRAM_REPLY, PROGRAM_REPLY_TIMEOUT_MS);
}

void CDownloaderDlg::FinishProgramming()
{
    KillTimer(TIMER_PROGRAM_REPLY);
    m_strReceived.clear();
    LogLine("Programming successful. ");
    if (m_identity.m_strModel == MODEL_KX410)
        LogLine("Please unplug the Tetherix and power off your kx410.");
    LogLine("Before you fly ensure that the controls operate correctly.");
    // The pause holds the window's thread: show the outcome before it, not after.
    m_list->viewport()->repaint();
    Pause(FINISH_PAUSE_MS);
    m_nPhase = PHASE_FINISHED;
    SendText("C");
}

void CDownloaderDlg::OnSilenceTimer()
{
    KillTimer(TIMER_SILENCE);
    m_bDropReceived = true;
    m_list->clear();
    ResetConnection();
    m_strReceived.clear();
    m_bDropReceived = false;
}

void CDownloaderDlg::OnProgramReplyTimer()
{
    KillTimer(TIMER_PROGRAM_REPLY);
    m_nPhase = PHASE_IDLE;
    ShowNotice(UpdateFailedNotice(m_identity.m_strModel));
    m_list->clear();
    ResetConnection();
}
