#include "web/WebDownloader.h"

#include <chrono>

namespace {

// The client's text when an answer outgrows the body limit (the same text the client gives
// when the announced length alone is too large).
constexpr const char* BODY_TOO_LARGE_TEXT = "Maximum file size exceeded";
constexpr std::size_t ERROR_TEXT_MAX_CHARS = 254;

} // namespace

std::int64_t WallClockSeconds()
{
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

CWebDownloader::CWebDownloader() : m_fnNow(&WallClockSeconds) {}

CWebDownloader::~CWebDownloader()
{
    CloseSession();
}

void CWebDownloader::SetClock(ClockFn fnNow)
{
    m_fnNow = fnNow ? std::move(fnNow) : ClockFn(&WallClockSeconds);
}

void CWebDownloader::SetLimits(const WebLimits& limits)
{
    m_limits = limits;
}

bool CWebDownloader::OpenSession()
{
    CloseSession();
    m_pSession = std::make_unique<CWebSession>();
    m_pSession->m_fnStatusSink = m_fnStatusSink;
    if (!m_pSession->IsOpen())
        m_pSession.reset();
    return m_pSession != nullptr;
}

void CWebDownloader::CloseSession()
{
    if (m_pSession) {
        m_pSession->Close();
        m_pSession.reset();
    }
}

bool CWebDownloader::BeginDownload(const std::string& strUrl)
{
    m_strBody.clear();
    m_read = ReadState();
    m_outcome = WebFailure();
    m_outcome.kind = WebFailure::EKind::Other;
    m_outcome.strDetail = "The internet session could not be opened";
    if (!m_pSession && !OpenSession())
        return false;

    m_handlers.onOpened = [this] {
        m_read.nStartS = m_fnNow();
        m_read.bStarted = true;
    };
    m_handlers.onData = [this](const char* pData, std::size_t nBytes) { return AcceptBytes(pData, nBytes); };
    const std::uint32_t dwFlags = INTERNET_FLAG_TRANSFER_BINARY | (m_bReload ? INTERNET_FLAG_RELOAD : 0u);
    std::string strError;
    if (m_pSession->BeginRequest(strUrl, dwFlags, m_limits, m_handlers, strError))
        return true;
    m_outcome = m_pSession->LastOutcome();
    ShowError(strError);
    return false;
}

void* CWebDownloader::EasyHandle() const
{
    return m_pSession ? m_pSession->EasyHandle() : nullptr;
}

bool CWebDownloader::EndDownload(int nCurlCode)
{
    if (!m_pSession)
        return false;
    std::string strError;
    const bool bOk = m_pSession->EndRequest(nCurlCode, strError);
    m_outcome = m_pSession->LastOutcome();
    if (!bOk) {
        if (m_read.bTooLarge)
            m_outcome.strDetail = BODY_TOO_LARGE_TEXT;
        ShowError(m_read.bTooLarge ? BODY_TOO_LARGE_TEXT : strError);
        m_strBody.clear();
        return false;
    }
    if (!m_read.strPending.empty()) {
        const std::string strRest = std::move(m_read.strPending);
        m_read.strPending.clear();
        TakePiece(strRest.data(), strRest.size());
    }
    return true;
}

void CWebDownloader::Cancel()
{
    if (m_pSession)
        m_pSession->Cancel();
}

// Blocks from the client come in any size; the body is taken in whole pieces of
// READ_PIECE_BYTES, and the last, shorter piece when the body is complete.
bool CWebDownloader::AcceptBytes(const char* pData, std::size_t nBytes)
{
    if (m_strBody.size() + m_read.strPending.size() + nBytes > m_limits.nMaxBodyBytes) {
        m_read.bTooLarge = true;
        return false;
    }
    m_read.strPending.append(pData, nBytes);
    std::size_t nTaken = 0;
    while (m_read.strPending.size() - nTaken >= READ_PIECE_BYTES) {
        TakePiece(m_read.strPending.data() + nTaken, READ_PIECE_BYTES);
        nTaken += READ_PIECE_BYTES;
    }
    m_read.strPending.erase(0, nTaken);
    return true;
}

void CWebDownloader::TakePiece(const char* pData, std::size_t nBytes)
{
    if (!m_read.bStarted) {
        m_read.nStartS = m_fnNow();
        m_read.bStarted = true;
    }
    m_strBody.append(pData, nBytes);
    const int nTotal = static_cast<int>(m_strBody.size());
    const std::int64_t nElapsedS = m_fnNow() - m_read.nStartS;
    if (nElapsedS > 0) {
        const double dRate = static_cast<double>(nTotal) / 1024.0 / static_cast<double>(nElapsedS);
        ShowWebStatus(m_pSession.get(), "Downloading lastest update %d bytes (%0.1f Kb/s)", nTotal, dRate);
    } else {
        ShowWebStatus(m_pSession.get(), "Downloading lastest update %d bytes", nTotal);
    }
}

void CWebDownloader::ShowError(const std::string& strClientText)
{
    const std::string strText = strClientText.substr(0, ERROR_TEXT_MAX_CHARS);
    ShowWebStatus(m_pSession.get(), "Error: %s", strText.c_str());
}
