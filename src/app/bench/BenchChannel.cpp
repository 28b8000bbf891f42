#include "app/bench/BenchChannel.h"

#include "app/bench/BenchPorts.h"
#include "platform/SupportLog.h"

namespace {
constexpr const char* BENCH_FACE = "bench";
} // namespace

CBenchChannel::CBenchChannel(const std::string& openName, const std::string& lastingName,
                             const BenchPolicy& policy, IBenchChannelListener& listener,
                             CSupportLog* pLog, CUpdateHistory* pHistory)
    : m_strOpenName(openName), m_strLastingName(lastingName), m_policy(policy),
      m_listener(listener), m_pLog(pLog), m_row(BenchPortName(openName)),
      m_adapter(openName, *this), m_engine(m_adapter)
{
    m_adapter.SetEngine(&m_engine);
    m_engine.SetSupportLog(pLog);
    m_engine.SetUpdateHistory(pHistory, BENCH_FACE, {}, BenchPortName(openName));
    m_engine.SetWebBaseUrl(policy.strService);
}

CBenchChannel::~CBenchChannel() { m_engine.Shutdown(); }

void CBenchChannel::Open() { m_engine.ConnectSelectedPort(); }

void CBenchChannel::ImageChanged()
{
    m_engine.SetWebBaseUrl(m_policy.strService);
    m_bImageReady = false;
    const EngineState state = m_engine.State();
    if (state == EngineState::Identified && !m_row.IsRunning())
        LoadImage();
}

void CBenchChannel::LoadImage()
{
    m_bImageReady = false;
    m_adapter.ForgetWords();
    if (m_policy.bFromWeb) {
        m_row.FetchStarted();
        Changed(false);
        m_adapter.ExpectWebAnswer();
        m_engine.GetFromWeb();
        return;
    }
    if (m_policy.strFile.empty())
        return;
    if (m_engine.LoadImageFile(m_policy.strFile)) {
        ImageReady();
        return;
    }
    m_row.ImageRefused(m_adapter.LastWords());
    m_bFresh = false;
    Changed(true);
}

void CBenchChannel::ImageReady()
{
    m_bImageReady = true;
    m_row.ImageSuits(m_engine.ImageVersion(), m_engine.ImageLineCount());
    const bool bCurrent =
        !m_engine.ImageVersion().empty() &&
        ShortVersion(m_row.Unit().m_strAppVersion) == ShortVersion(m_engine.ImageVersion());
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
    m_adapter.ForgetWords();
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
        m_adapter.SetPort(openName);
    }
    m_row.SetGone(bGone);
    m_bImageReady = false;
    if (bGone)
        m_engine.SetLinkUnplugged(true);
    else if (m_engine.IsLinkOpen())
        m_engine.SetLinkUnplugged(false);
    else
        m_engine.ConnectSelectedPort();
    Changed(true);
}

// --- what the engine reported ---

void CBenchChannel::OnStatusRow(const std::string& text)
{
    // Every status row goes to the support log with the link it came from.
    if (m_pLog != nullptr)
        m_pLog->Status(text, m_engine.LinkName());
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

void CBenchChannel::OnWebImage(bool bReady, const std::string& why)
{
    if (bReady) {
        ImageReady();
        return;
    }
    m_row.ImageRefused(why);
    m_bFresh = false;
    Changed(true);
}

void CBenchChannel::OnRunProgress(int nSent)
{
    m_row.Progress(nSent);
    Changed(false);
}

void CBenchChannel::OnRunFinished()
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
    // The engine's check of the restarted unit comes with its identification, which is told
    // after this: the row takes the unit as it is now.
    const bool bChecked = outcome.result == UpdateResult::Verified ||
                          outcome.result == UpdateResult::NotVerified ||
                          outcome.result == UpdateResult::NoVersion;
    if (bChecked && m_row.State() == CBenchRow::EState::Checking)
        m_row.Identified(m_engine.Identity());
    m_row.RunEnded(outcome);
    Changed(true);
}

void CBenchChannel::OnLinkDropped(const std::string& why)
{
    if (m_pLog != nullptr && !why.empty())
        m_pLog->Status("the port cannot be used: " + why, m_engine.LinkName());
    if (m_row.IsGone())
        return;
    m_row.SetGone(true);
    m_bImageReady = false;
    Changed(true);
}

void CBenchChannel::OnWriting(bool bWriting)
{
    if (bWriting == m_bWriting)
        return;
    m_bWriting = bWriting;
    m_listener.OnChannelWriting(*this);
}
