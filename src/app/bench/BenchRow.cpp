#include "app/bench/BenchRow.h"

#include "device/UpdateCheck.h"

#include <utility>

namespace {
constexpr int FULL_PERCENT = 100;
const std::string NOT_SUITABLE = "not suitable for your ";

std::string LineText(int nLine, int nTotal)
{
    return "line " + std::to_string(nLine) + " of " + std::to_string(nTotal);
}

std::string CauseOf(UpdateResult result, bool bGone)
{
    if (bGone)
        return "the cable was unplugged";
    switch (result) {
    case UpdateResult::Silent: return "the unit fell silent";
    case UpdateResult::LinkLost: return "the link to the unit failed";
    case UpdateResult::Corrupt: return "the unit reported a corrupt line";
    case UpdateResult::Empty: return "the image has no data line";
    default: return {};
    }
}
} // namespace

std::string ShortVersion(const std::string& fourDigits)
{
    if (fourDigits.empty())
        return {};
    const std::string text = VersionText(fourDigits); // "Ver 1.07"
    return text.substr(text.find(' ') + 1);
}

void CBenchRow::Enter(EState state) { m_state = state; }

bool CBenchRow::Identified(const DeviceIdentity& unit)
{
    if (m_state == EState::Checking) {
        m_after = unit;
        return false;
    }
    const bool bSameUnit =
        m_state != EState::Waiting && unit.m_strSerialNumber == m_unit.m_strSerialNumber;
    if (bSameUnit && !m_bReplugged)
        return false; // identified again after its run: the row keeps what the run did
    m_bReplugged = false;
    m_unit = unit;
    m_after = {};
    m_strRefusal.clear();
    m_strCause.clear();
    m_nSent = 0;
    m_nTotal = 0;
    Enter(EState::Identified);
    return true;
}

void CBenchRow::FetchStarted() { Enter(EState::Fetching); }

void CBenchRow::ImageSuits(const std::string& imageVersion, int nLines)
{
    m_strImageVersion = imageVersion;
    m_nTotal = nLines;
    if (m_state == EState::Fetching || m_state == EState::Unsuitable)
        Enter(EState::Identified);
}

void CBenchRow::ImageRefused(const std::string& why)
{
    m_strRefusal = why;
    if (!IsRunning() && !HasResult())
        Enter(EState::Unsuitable);
}

void CBenchRow::SkippedAsCurrent() { Enter(EState::Current); }

void CBenchRow::RunStarted(int nTotalLines)
{
    m_nTotal = nTotalLines;
    m_nSent = 0;
    m_after = {};
    m_strCause.clear();
    Enter(EState::Sending);
}

void CBenchRow::Progress(int nSent)
{
    if (m_state == EState::Sending)
        m_nSent = nSent;
}

void CBenchRow::RunFinished()
{
    if (m_state != EState::Sending)
        return;
    m_nSent = m_nTotal;
    Enter(EState::Checking);
}

void CBenchRow::RunEnded(const UpdateOutcome& outcome)
{
    if (!IsRunning())
        return;
    m_nSent = outcome.nLinesSent;
    if (outcome.nTotalLines > 0)
        m_nTotal = outcome.nTotalLines;
    switch (outcome.result) {
    case UpdateResult::Verified: Enter(EState::Verified); return;
    case UpdateResult::NotVerified:
    case UpdateResult::NoVersion: Enter(EState::NotVerified); return;
    case UpdateResult::Interrupted:
        Enter(m_bGone ? EState::Failed : EState::Stopped);
        m_strCause = m_bGone ? CauseOf(outcome.result, true) : std::string();
        return;
    case UpdateResult::Silent:
    case UpdateResult::LinkLost:
    case UpdateResult::Corrupt:
    case UpdateResult::Empty:
        m_strCause = CauseOf(outcome.result, m_bGone);
        Enter(EState::Failed);
        return;
    }
}

void CBenchRow::SetGone(bool bGone)
{
    m_bGone = bGone;
    if (bGone) {
        m_bReplugged = true;
        if (m_state == EState::Checking) {
            m_strCause = "the cable was unplugged while it restarted";
            Enter(EState::NotVerified);
        }
    }
}

bool CBenchRow::CanStart() const
{
    if (m_bGone || m_nTotal <= 0)
        return false;
    switch (m_state) {
    case EState::Identified:
    case EState::Current:
    case EState::Failed:
    case EState::Stopped:
    case EState::NotVerified: return true;
    default: return false;
    }
}

bool CBenchRow::HasResult() const
{
    switch (m_state) {
    case EState::Verified:
    case EState::NotVerified:
    case EState::Failed:
    case EState::Stopped: return true;
    default: return false;
    }
}

std::string CBenchRow::UnitText() const
{
    if (m_unit.m_strSerialNumber.empty())
        return {};
    return m_unit.m_strModel + " serial " + m_unit.m_strSerialNumber;
}

std::string CBenchRow::LoaderText() const { return ShortVersion(m_unit.m_strLoaderVersion); }

std::string CBenchRow::ApplicationText() const
{
    const std::string before = ShortVersion(m_unit.m_strAppVersion);
    if (m_after.m_strAppVersion.empty())
        return before;
    return before + " \u2192 " + ShortVersion(m_after.m_strAppVersion);
}

std::string CBenchRow::StateText() const
{
    std::string text;
    switch (m_state) {
    case EState::Waiting: text = "waiting for a unit"; break;
    case EState::Identified: text = "identified"; break;
    case EState::Fetching: text = "asking the firmware service"; break;
    case EState::Unsuitable:
        // The check's own sentence, without its "The selected firmware is".
        text = m_strRefusal.find(NOT_SUITABLE) != std::string::npos
                   ? NOT_SUITABLE + m_unit.m_strModel
                   : "image refused: " + m_strRefusal;
        break;
    case EState::Current: text = "already runs " + ShortVersion(m_unit.m_strAppVersion); break;
    case EState::Sending: text = "sending " + std::to_string(Percent()) + " %"; break;
    case EState::Checking: text = "checking after the reboot"; break;
    case EState::Verified: text = "verified " + ShortVersion(m_after.m_strAppVersion); break;
    case EState::NotVerified:
        text = m_after.m_strAppVersion.empty()
                   ? "not verified" + (m_strCause.empty() ? std::string() : ": " + m_strCause)
                   : "not verified: it runs " + ShortVersion(m_after.m_strAppVersion);
        break;
    case EState::Failed:
        text = "failed at " + LineText(m_nSent, m_nTotal) + ": " + m_strCause;
        break;
    case EState::Stopped: text = "stopped"; break;
    }
    if (!m_bGone)
        return text;
    if (m_state == EState::Waiting || m_state == EState::Identified || m_state == EState::Current ||
        m_state == EState::Unsuitable)
        return "gone";
    return "gone; " + text;
}

int CBenchRow::Percent() const
{
    if (m_state != EState::Sending && !HasResult() && m_state != EState::Checking)
        return -1;
    if (m_nTotal <= 0)
        return 0;
    return static_cast<int>(static_cast<long long>(m_nSent) * FULL_PERCENT / m_nTotal);
}

std::string CBenchRow::Advice() const
{
    const std::string model = m_unit.m_strModel.empty() ? std::string("unit") : m_unit.m_strModel;
    switch (m_state) {
    case EState::Failed:
        if (m_bGone || m_strCause == "the cable was unplugged")
            return "Plug its cable in again and update it again; the " + model +
                   " must be updated before it is used.";
        if (m_strCause == "the unit fell silent")
            return "Check the " + model +
                   "'s power and cable, then update it again; it must be "
                   "updated before it is used.";
        return "Update it again; the " + model + " must be updated before it is used.";
    case EState::Stopped:
        return "Update it again; the " + model + " must be updated before it is used.";
    case EState::NotVerified:
        return "Cycle the power to the " + model + " and check the version it reports.";
    case EState::Unsuitable: return "Choose an image made for the " + model + ".";
    default: return {};
    }
}

std::string CBenchRow::Sentence() const
{
    const std::string unit = UnitText().empty() ? std::string("no unit") : UnitText();
    std::string text = m_strPort + ": " + unit + ", " + StateText() + ".";
    const std::string advice = Advice();
    return advice.empty() ? text : text + " " + advice;
}

std::string CBenchRow::Milestone() const
{
    const std::string who = m_strPort + ": " + UnitText();
    if (m_bGone)
        return m_strPort + ": gone" + (HasResult() ? "; " + StateText().substr(6) : std::string());
    switch (m_state) {
    case EState::Identified:
        return who + " identified, runs " + ShortVersion(m_unit.m_strAppVersion);
    case EState::Unsuitable:
    case EState::Current:
    case EState::Failed:
    case EState::Stopped: return who + " " + StateText();
    case EState::Sending: return who + " sending";
    case EState::Verified: return who + " verified, now " + ShortVersion(m_after.m_strAppVersion);
    case EState::NotVerified: return who + " " + StateText();
    default: return {};
    }
}

std::string BenchSummary(const std::vector<const CBenchRow*>& rows)
{
    using EState = CBenchRow::EState;
    struct Count {
        const char* word;
        int n;
    };
    Count counts[] = {{"verified", 0}, {"not verified", 0}, {"failed", 0},
                      {"stopped", 0},  {"current", 0},      {"not suitable", 0},
                      {"running", 0},  {"waiting", 0},      {"gone", 0}};
    for (const CBenchRow* row : rows) {
        int index = 7;
        switch (row->State()) {
        case EState::Verified: index = 0; break;
        case EState::NotVerified: index = 1; break;
        case EState::Failed: index = 2; break;
        case EState::Stopped: index = 3; break;
        case EState::Current: index = 4; break;
        case EState::Unsuitable: index = 5; break;
        case EState::Fetching:
        case EState::Sending:
        case EState::Checking: index = 6; break;
        case EState::Waiting:
        case EState::Identified: index = row->IsGone() ? 8 : 7; break;
        }
        ++counts[index].n;
    }
    std::string text;
    for (const Count& count : counts) {
        if (count.n == 0)
            continue;
        if (!text.empty())
            text += ", ";
        text += std::to_string(count.n) + " " + count.word;
    }
    return text.empty() ? "no units" : text;
}
