#include "app/bench/BenchChannel.h"

#include "app/bench/BenchPorts.h"
#include "platform/SupportLog.h"

namespace {
constexpr const char* BENCH_FACE = "bench";

// Lines go to the unit: a data line, or the finish after the last one.
bool IsWritingState(EngineState state)
{
    return state == EngineState::Programming || state == EngineState::FinishPause;
}
} // namespace

CBenchChannel::CBenchChannel(const std::string& openName, const std::string& lastingName,
                             const BenchPolicy& policy, IBenchChannelListener& listener,
                             CSupportLog* pLog, CUpdateHistory* pHistory)
    : m_strOpenName(openName), m_strLastingName(lastingName), m_policy(policy),
      m_listener(listener), m_pLog(pLog), m_row(BenchPortName(openName)), m_engine(*this)
{
    m_engine.ChoosePort(openName);
    m_engine.SetSupportLog(pLog);
    m_engine.SetUpdateHistory(pHistory, BENCH_FACE, {}, BenchPortName(openName));
    m_engine.SetWebBaseUrl(policy.strService);
}

CBenchChannel::~CBenchChannel() { m_engine.Shutdown(); }

void CBenchChannel::Open() { m_engine.ConnectChosenPort(); }

void CBenchChannel::ImageChanged()
{
    m_engine.SetWebBaseUrl(m_policy.strService);
    m_bImageReady = false;
    if (m_engine.State() == EngineState::Identified && !m_row.IsRunning())
        LoadImage();
}

void CBenchChannel::LoadImage()
{
    m_bImageReady = false;
    if (m_policy.bFromWeb) {
        m_row.FetchStarted();
        Changed(false);
        m_engine.GetFromWeb(); // the answer comes as OnImageReady or OnImageRefused
        return;
    }
    if (!m_policy.strFile.empty())
        m_engine.LoadImageFile(m_policy.strFile); // its verdict comes as an event
}

void CBenchChannel::ImageReady(const EngineSnapshot::Image& image)
{
    m_bImageReady = true;
    const std::string version = image.version.value_or(std::string());
    m_row.ImageSuits(version, image.nLines);
    const bool bCurrent =
        !version.empty() && ShortVersion(m_row.Unit().m_strAppVersion) == ShortVersion(version);
    if (bCurrent && !m_policy.bAlsoCurrent && m_row.State() == CBenchRow::EState::Identified) {
        m_row.SkippedAsCurrent();
        m_bFresh = false;
        Changed(true);
        return;
    }
    Changed(false);
    if (m_bFresh && m_policy.bAutoStart)
        Start();
}

bool CBenchChannel::Start()
{
    if (!m_bImageReady || !m_row.CanStart() || m_engine.State() != EngineState::Identified)
        return false;
    if (m_row.State() == CBenchRow::EState::Current && !m_policy.bAlsoCurrent)
        return false;
    m_bFresh = false;
    m_bImageReady = false; // a later run offers the image again
    m_row.RunStarted(m_engine.ImageLineCount());
    Changed(true);
    m_engine.StartProgramming();
    return true;
}

bool CBenchChannel::Stop()
{
    if (m_row.State() != CBenchRow::EState::Sending || m_engine.State() != EngineState::Programming)
        return false;
    m_engine.InterruptProgramming();
    return true;
}

void CBenchChannel::SetGone(bool bGone, const std::string& openName)
{
    if (bGone == m_row.IsGone())
        return;
    if (!bGone && !openName.empty()) {
        m_strOpenName = openName;
        m_engine.ChoosePort(openName);
    }
    m_row.SetGone(bGone);
    m_bImageReady = false;
    if (bGone) {
        m_engine.SetLinkUnplugged(true);
    } else if (m_engine.IsLinkOpen()) {
        m_engine.SetLinkUnplugged(false);
    } else {
        m_engine.ChoosePort(m_strOpenName);
        m_engine.ConnectChosenPort();
    }
    Changed(true);
}

// --- what the engine reported ---

void CBenchChannel::OnStatusRow(const std::string& text)
{
    // Every status row goes to the support log with the link it came from.
    if (m_pLog != nullptr)
        m_pLog->Status(text, m_engine.LinkName());
}

void CBenchChannel::OnChanged(const EngineSnapshot& snapshot)
{
    const bool bWriting = IsWritingState(snapshot.state);
    if (bWriting == m_bWriting)
        return;
    m_bWriting = bWriting;
    m_listener.OnChannelWriting(*this);
}

void CBenchChannel::OnUnitIdentified(const DeviceIdentity& unit)
{
    const bool bChecking = m_row.State() == CBenchRow::EState::Checking;
    const bool bFresh = m_row.Identified(unit);
    if (bChecking)
        return; // the engine's check follows
    if (bFresh) {
        m_bFresh = true;
        Changed(true);
    }
    // A unit that was just updated is not offered the image again.
    if (m_policy.HasImage() && m_engine.State() == EngineState::Identified &&
        m_row.State() != CBenchRow::EState::Verified)
        LoadImage();
}

void CBenchChannel::OnImageReady(const EngineSnapshot::Image& image) { ImageReady(image); }

void CBenchChannel::OnImageRefused(ImageRefusal, const std::string& why)
{
    m_bImageReady = false;
    m_row.ImageRefused(why);
    m_bFresh = false;
    Changed(true);
}

void CBenchChannel::OnProgress(const RunProgress& progress)
{
    m_row.Progress(progress.nSent);
    Changed(false);
}

void CBenchChannel::OnRunSucceeded(const std::vector<std::string>&)
{
    m_row.RunFinished();
    Changed(false);
}

void CBenchChannel::OnRunEnded(const UpdateOutcome& outcome)
{
    if (m_pLog != nullptr)
        m_pLog->Status("run ended after " + std::to_string(outcome.nLinesSent) + " of " +
                           std::to_string(outcome.nTotalLines) + " lines: " + outcome.strText,
                       m_engine.LinkName());
    // The check of the restarted unit is told before the unit's identification: the row takes
    // the unit as it is now.
    const bool bChecked = outcome.result == UpdateResult::Verified ||
                          outcome.result == UpdateResult::NotVerified ||
                          outcome.result == UpdateResult::NoVersion;
    if (bChecked && m_row.State() == CBenchRow::EState::Checking)
        m_row.Identified(m_engine.Identity());
    m_row.RunEnded(outcome);
    Changed(true);
}

void CBenchChannel::OnLinkDropped(const LinkError&, bool)
{
    if (m_pLog != nullptr)
        m_pLog->Status("the port cannot be used" +
                           (m_strLastNotice.empty() ? std::string() : ": " + m_strLastNotice),
                       m_engine.LinkName());
    if (m_row.IsGone())
        return;
    m_row.SetGone(true);
    m_bImageReady = false;
    Changed(true);
}

void CBenchChannel::OnNotice(const EngineNotice& notice)
{
    // The bench shows no modal notice: the row says what happened, the log keeps the words.
    m_strLastNotice = notice.strText;
    if (m_pLog != nullptr)
        m_pLog->Notice(notice.strText);
}
