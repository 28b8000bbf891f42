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
    m_pSession->SetCancelFlag(m_pCancel);
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

bool CWebDownloader::Download(const std::string& strUrl, std::string& strBody)
{
    strBody.clear();
    m_outcome = WebFailure();
    m_outcome.kind = WebFailure::EKind::Other;
    m_outcome.strDetail = "The internet session could not be opened";
    if (!m_pSession && !OpenSession())
        return false;

    ReadState state;
    state.pBody = &strBody;
    CWebSession::ResponseHandlers handlers;
    handlers.onOpened = [this, &state] {
        state.nStartS = m_fnNow();
        state.bStarted = true;
    };
    handlers.onData = [this, &state](const char* pData, std::size_t nBytes) {
        return AcceptBytes(state, pData, nBytes);
    };
    const DWORD dwFlags = INTERNET_FLAG_TRANSFER_BINARY | (m_bReload ? INTERNET_FLAG_RELOAD : 0u);
    std::string strError;
    const bool bOpened = m_pSession->OpenURL(strUrl, dwFlags, m_limits, handlers, strError);
    m_outcome = m_pSession->LastOutcome();
    if (!bOpened) {
        if (state.bTooLarge)
            m_outcome.strDetail = BODY_TOO_LARGE_TEXT;
        ShowError(state.bTooLarge ? BODY_TOO_LARGE_TEXT : strError);
        strBody.clear();
        return false;
    }
    if (!state.strPending.empty())
        TakePiece(state, state.strPending.data(), state.strPending.size());
    return true;
}

// Blocks from the client come in any size; the body is taken in whole pieces of
// READ_PIECE_BYTES, and the last, shorter piece when the body is complete.
bool CWebDownloader::AcceptBytes(ReadState& state, const char* pData, std::size_t nBytes)
{
    if (state.pBody->size() + state.strPending.size() + nBytes > m_limits.nMaxBodyBytes) {
        state.bTooLarge = true;
        return false;
    }
    state.strPending.append(pData, nBytes);
    std::size_t nTaken = 0;
    while (state.strPending.size() - nTaken >= READ_PIECE_BYTES) {
        TakePiece(state, state.strPending.data() + nTaken, READ_PIECE_BYTES);
        nTaken += READ_PIECE_BYTES;
    }
    state.strPending.erase(0, nTaken);
    return true;
}

void CWebDownloader::TakePiece(ReadState& state, const char* pData, std::size_t nBytes)
{
    if (!state.bStarted) {
        state.nStartS = m_fnNow();
        state.bStarted = true;
    }
    state.pBody->append(pData, nBytes);
    const int nTotal = static_cast<int>(state.pBody->size());
    const std::int64_t nElapsedS = m_fnNow() - state.nStartS;
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
