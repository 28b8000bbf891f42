#include "device/RunRecorder.h"

#include "device/DeviceNotices.h"
#include "device/TextValues.h"
#include "platform/UpdateHistory.h"

#include <ctime>

namespace {
// The sentence as one line: a notice's "Press OK" (a button the history has not) left out,
// line ends and runs of blanks made one space.
std::string PlainSentence(const std::string& text)
{
    const std::string source = NoticeText(text);
    std::string plain;
    for (const char c : source) {
        const bool bBlank = c == ' ' || c == '\n' || c == '\r' || c == '\t';
        if (!bBlank)
            plain += c;
        else if (!plain.empty() && plain.back() != ' ')
            plain += ' ';
    }
    while (!plain.empty() && plain.back() == ' ')
        plain.pop_back();
    return plain;
}

RecordResult RecordResultOf(UpdateResult result)
{
    switch (result) {
    case UpdateResult::Verified: return RecordResult::Verified;
    case UpdateResult::NotVerified:
    case UpdateResult::NoVersion: return RecordResult::Finished;
    case UpdateResult::Corrupt:
    case UpdateResult::Silent:
    case UpdateResult::LinkLost: return RecordResult::Failed;
    case UpdateResult::Empty: return RecordResult::Refused;
    case UpdateResult::Interrupted: return RecordResult::Interrupted;
    }
    return RecordResult::Failed;
}
} // namespace

CRunRecorder::CRunRecorder(CUpdateHistory& history, std::string face, NowFn fnNow, std::string port)
    : m_history(history), m_strFace(std::move(face)), m_strPort(std::move(port)),
      m_fnNow(fnNow ? std::move(fnNow) : NowFn([] { return std::chrono::system_clock::now(); }))
{
}

std::string CRunRecorder::IsoTime(std::chrono::system_clock::time_point when)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc {};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

void CRunRecorder::RunStarted(const DeviceIdentity& unit, const std::string& source,
                              const std::string& imageVersion, int nTotalLines)
{
    // A run still open here is one whose check never came.
    Settle(m_record.nLinesSent);
    m_record = {};
    m_record.strTime = IsoTime(m_fnNow());
    m_record.strFace = m_strFace;
    m_record.strPort = m_strPort;
    m_record.strModel = unit.m_strModel;
    m_record.strSerial = unit.m_strSerialNumber;
    m_record.strLoaderBefore = VersionNumber(unit.m_strLoaderVersion);
    m_record.strAppBefore = VersionNumber(unit.m_strAppVersion);
    m_record.strImageSource = source;
    m_record.strImageVersion = VersionNumber(imageVersion);
    m_record.nTotalLines = nTotalLines;
    m_bPending = true;
    m_bFinished = false;
}

void CRunRecorder::RunEnded(const UpdateOutcome& outcome)
{
    if (!m_bPending)
        return;
    m_record.result = RecordResultOf(outcome.result);
    m_record.nLinesSent = outcome.nLinesSent;
    m_record.strText = PlainSentence(outcome.strText);
    Write();
}

void CRunRecorder::RunFinished(int nLinesSent, const std::string& text)
{
    if (!m_bPending)
        return;
    m_bFinished = true;
    m_record.nLinesSent = nLinesSent;
    m_record.strText = text;
}

void CRunRecorder::RunChecked(const UpdateOutcome& outcome, const DeviceIdentity& unit)
{
    if (!m_bPending)
        return;
    m_record.result = RecordResultOf(outcome.result);
    m_record.strText = PlainSentence(outcome.strText);
    if (unit.m_strSerialNumber == m_record.strSerial && unit.m_strModel == m_record.strModel) {
        m_record.strLoaderAfter = VersionNumber(unit.m_strLoaderVersion);
        m_record.strAppAfter = VersionNumber(unit.m_strAppVersion);
    }
    Write();
}

void CRunRecorder::Settle(int nLinesSent)
{
    if (!m_bPending)
        return;
    if (m_bFinished) {
        m_record.result = RecordResult::Finished;
        m_record.strText += (m_record.strText.empty() ? "" : " ") +
                            std::string("The unit was not identified again after the update.");
    } else {
        m_record.result = RecordResult::Interrupted;
        m_record.nLinesSent = nLinesSent;
        m_record.strText = StoppedAtOnceText(m_record.strModel, nLinesSent, m_record.nTotalLines);
    }
    Write();
}

void CRunRecorder::Write()
{
    m_bPending = false;
    m_bFinished = false;
    m_history.Append(RecordJson(m_record));
}
