#include "web/WebSession.h"

#include <QCoreApplication>

#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

static_assert(sizeof(std::array<char, 256>) == CURL_ERROR_SIZE, "error buffer size");

namespace {

constexpr long MAX_REDIRECTS = 5;
constexpr const char* WEB_PROTOCOLS = "http,https";
constexpr const char* SECURE_PROTOCOLS = "https";

// The schemes a request may be redirected to: one that starts on https stays on https.
const char* RedirectProtocolsFor(const std::string& strUrl)
{
    std::string strScheme;
    CURLU* pUrl = curl_url();
    char* pszScheme = nullptr;
    if (pUrl != nullptr && curl_url_set(pUrl, CURLUPART_URL, strUrl.c_str(), CURLU_GUESS_SCHEME) == CURLUE_OK &&
        curl_url_get(pUrl, CURLUPART_SCHEME, &pszScheme, 0) == CURLUE_OK) {
        strScheme = pszScheme;
        curl_free(pszScheme);
    }
    curl_url_cleanup(pUrl);
    return strScheme == "http" ? WEB_PROTOCOLS : SECURE_PROTOCOLS;
}

std::string HostOfUrl(const char* pszUrl)
{
    std::string strHost;
    CURLU* pUrl = curl_url();
    char* pszHost = nullptr;
    if (pUrl != nullptr && pszUrl != nullptr && curl_url_set(pUrl, CURLUPART_URL, pszUrl, 0) == CURLUE_OK &&
        curl_url_get(pUrl, CURLUPART_HOST, &pszHost, 0) == CURLUE_OK) {
        strHost = pszHost;
        curl_free(pszHost);
    }
    curl_url_cleanup(pUrl);
    return strHost;
}

std::string AddressText(const curl_sockaddr* pAddress)
{
    char szText[INET6_ADDRSTRLEN] = "";
    if (pAddress->family == AF_INET) {
        sockaddr_in in{};
        std::memcpy(&in, &pAddress->addr, sizeof in);
        inet_ntop(AF_INET, &in.sin_addr, szText, sizeof szText);
    } else if (pAddress->family == AF_INET6) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, &pAddress->addr, sizeof in6);
        inet_ntop(AF_INET6, &in6.sin6_addr, szText, sizeof szText);
    }
    return szText;
}

bool IsBlankHeaderLine(const char* pLine, std::size_t nBytes)
{
    return (nBytes == 2 && pLine[0] == '\r' && pLine[1] == '\n') || (nBytes == 1 && pLine[0] == '\n');
}

} // namespace

// The C callbacks that libcurl calls during a transfer; each forwards to the session named by
// its user pointer. No exception may leave them, since they return into C code.
struct CCurlHooks {
    static int OnResolverStart(void*, void*, void* pUser) noexcept
    {
        auto* pSession = static_cast<CWebSession*>(pUser);
        try {
            char* pszUrl = nullptr;
            curl_easy_getinfo(pSession->m_pCurl, CURLINFO_EFFECTIVE_URL, &pszUrl);
            pSession->Notify(INTERNET_STATUS_RESOLVING_NAME, HostOfUrl(pszUrl));
            return 0;
        } catch (...) {
            return 1;
        }
    }

    static curl_socket_t OnOpenSocket(void* pUser, curlsocktype, curl_sockaddr* pAddress) noexcept
    {
        auto* pSession = static_cast<CWebSession*>(pUser);
        try {
            pSession->Notify(INTERNET_STATUS_NAME_RESOLVED, AddressText(pAddress));
            pSession->Notify(INTERNET_STATUS_CONNECTING_TO_SERVER);
        } catch (...) {
            return CURL_SOCKET_BAD;
        }
        const int fd = socket(pAddress->family, pAddress->socktype | SOCK_CLOEXEC, pAddress->protocol);
        return fd < 0 ? CURL_SOCKET_BAD : fd;
    }

    static int OnCloseSocket(void* pUser, curl_socket_t fd) noexcept
    {
        auto* pSession = static_cast<CWebSession*>(pUser);
        try {
            pSession->Notify(INTERNET_STATUS_CLOSING_CONNECTION);
        } catch (...) {
        }
        const int nResult = close(fd);
        try {
            pSession->Notify(INTERNET_STATUS_CONNECTION_CLOSED);
        } catch (...) {
        }
        return nResult;
    }

    static int OnPrereq(void* pUser, char*, char*, int, int) noexcept
    {
        auto* pSession = static_cast<CWebSession*>(pUser);
        try {
            pSession->m_bRequestSent = false;
            pSession->Notify(INTERNET_STATUS_CONNECTED_TO_SERVER);
            pSession->Notify(INTERNET_STATUS_SENDING_REQUEST);
            return CURL_PREREQFUNC_OK;
        } catch (...) {
            return CURL_PREREQFUNC_ABORT;
        }
    }

    static int OnDebug(CURL*, curl_infotype type, char*, std::size_t, void* pUser) noexcept
    {
        auto* pSession = static_cast<CWebSession*>(pUser);
        if (type != CURLINFO_HEADER_OUT || pSession->m_bRequestSent)
            return 0;
        pSession->m_bRequestSent = true;
        try {
            pSession->Notify(INTERNET_STATUS_REQUEST_SENT);
        } catch (...) {
        }
        return 0;
    }

    // A response begins with its status line and is complete at the blank line after its
    // headers; trailer lines of a chunked body start neither.
    static std::size_t OnHeader(char* pLine, std::size_t nSize, std::size_t nItems, void* pUser) noexcept
    {
        auto* pSession = static_cast<CWebSession*>(pUser);
        const std::size_t nBytes = nSize * nItems;
        try {
            if (nBytes >= 5 && std::memcmp(pLine, "HTTP/", 5) == 0) {
                pSession->m_bInHeaders = true;
                std::string strStatus(pLine, nBytes);
                while (!strStatus.empty() && (strStatus.back() == '\n' || strStatus.back() == '\r'))
                    strStatus.pop_back();
                pSession->m_outcome.strStatusLine = strStatus;
                pSession->Notify(INTERNET_STATUS_RECEIVING_RESPONSE);
            } else if (pSession->m_bInHeaders && IsBlankHeaderLine(pLine, nBytes)) {
                pSession->m_bInHeaders = false;
                pSession->Notify(INTERNET_STATUS_RESPONSE_RECEIVED);
                if (pSession->m_pHandlers != nullptr && pSession->m_pHandlers->onOpened)
                    pSession->m_pHandlers->onOpened();
            }
            return nBytes;
        } catch (...) {
            return 0;
        }
    }

    static int OnTransferInfo(void* pUser, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept
    {
        // A non-zero answer ends the transfer: the request was cancelled by its owner.
        return static_cast<CWebSession*>(pUser)->IsCancelled() ? 1 : 0;
    }

    static std::size_t OnWrite(char* pData, std::size_t nSize, std::size_t nItems, void* pUser) noexcept
    {
        auto* pSession = static_cast<CWebSession*>(pUser);
        const std::size_t nBytes = nSize * nItems;
        if (pSession->IsCancelled())
            return 0;
        try {
            const CWebSession::ResponseHandlers* pHandlers = pSession->m_pHandlers;
            if (pHandlers == nullptr || !pHandlers->onData)
                return nBytes;
            return pHandlers->onData(pData, nBytes) ? nBytes : 0;
        } catch (...) {
            return 0;
        }
    }

    static bool Install(CWebSession& session)
    {
        CURL* pCurl = session.m_pCurl;
        const std::string strAgent = QCoreApplication::applicationName().toStdString();
        bool bOk = curl_easy_setopt(pCurl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_ERRORBUFFER, session.m_szError.data()) == CURLE_OK;
        if (!strAgent.empty())
            bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_USERAGENT, strAgent.c_str()) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_VERBOSE, 1L) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_DEBUGFUNCTION, &OnDebug) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_DEBUGDATA, &session) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_HEADERFUNCTION, &OnHeader) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_HEADERDATA, &session) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, &OnWrite) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, &session) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_XFERINFOFUNCTION, &OnTransferInfo) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_XFERINFODATA, &session) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_RESOLVER_START_FUNCTION, &OnResolverStart) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_RESOLVER_START_DATA, &session) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_OPENSOCKETFUNCTION, &OnOpenSocket) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_OPENSOCKETDATA, &session) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_CLOSESOCKETFUNCTION, &OnCloseSocket) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_CLOSESOCKETDATA, &session) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_PREREQFUNCTION, &OnPrereq) == CURLE_OK;
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_PREREQDATA, &session) == CURLE_OK;
        return bOk;
    }
};

CWebSession::CWebSession()
{
    m_pCurl = curl_easy_init();
    if (m_pCurl != nullptr && !CCurlHooks::Install(*this)) {
        curl_easy_cleanup(m_pCurl);
        m_pCurl = nullptr;
    }
    EnableStatusCallback(true);
}

CWebSession::~CWebSession()
{
    Close();
}

bool CWebSession::IsOpen() const
{
    return m_pCurl != nullptr;
}

bool CWebSession::EnableStatusCallback(bool bEnable)
{
    m_bCallbackEnabled = bEnable && m_pCurl != nullptr;
    return m_bCallbackEnabled == bEnable;
}

bool CWebSession::ApplyRequestOptions(const std::string& strUrl, const WebLimits& limits, void* pHeaders)
{
    CURL* pCurl = m_pCurl;
    bool bOk = curl_easy_setopt(pCurl, CURLOPT_URL, strUrl.c_str()) == CURLE_OK;
    bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_HTTPGET, 1L) == CURLE_OK;
    bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_PROTOCOLS_STR, WEB_PROTOCOLS) == CURLE_OK;
    bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_REDIR_PROTOCOLS_STR, RedirectProtocolsFor(strUrl)) == CURLE_OK;
    bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
    bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_MAXREDIRS, MAX_REDIRECTS) == CURLE_OK;
    bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_CONNECTTIMEOUT_MS, limits.nConnectTimeoutMs) == CURLE_OK;
    // A stall: fewer than one byte a second over the whole stall period.
    bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK;
    bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_LOW_SPEED_TIME, limits.nStallLimitS) == CURLE_OK;
    bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_MAXFILESIZE_LARGE,
                                  static_cast<curl_off_t>(limits.nMaxBodyBytes)) == CURLE_OK;
    bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(pHeaders)) == CURLE_OK;
    const std::string strCertificates = TrustedCertificateFile();
    if (!strCertificates.empty())
        bOk = bOk && curl_easy_setopt(pCurl, CURLOPT_CAINFO, strCertificates.c_str()) == CURLE_OK;
    return bOk;
}

bool CWebSession::BeginRequest(const std::string& strUrl, std::uint32_t dwFlags, const WebLimits& limits,
                               const ResponseHandlers& handlers, std::string& strError)
{
    strError.clear();
    m_outcome = WebFailure();
    if (m_pCurl == nullptr) {
        strError = "The internet session is not open";
        m_outcome.kind = WebFailure::EKind::Other;
        m_outcome.strDetail = strError;
        return false;
    }
    ReleaseHeaders();
    if ((dwFlags & INTERNET_FLAG_RELOAD) != 0) {
        curl_slist* pHeaders = curl_slist_append(nullptr, "Cache-Control: no-cache");
        if (pHeaders != nullptr)
            curl_slist_append(pHeaders, "Pragma: no-cache");
        m_pHeaders = pHeaders;
    }
    m_szError[0] = '\0';
    m_strUrl = strUrl;
    m_pHandlers = &handlers;
    m_bInHeaders = false;
    m_bRequestSent = false;
    Notify(INTERNET_STATUS_HANDLE_CREATED);
    if (ApplyRequestOptions(strUrl, limits, m_pHeaders))
        return true;
    EndRequest(CURLE_FAILED_INIT, strError);
    return false;
}

bool CWebSession::EndRequest(int nCurlCode, std::string& strError)
{
    strError.clear();
    ReleaseHeaders();
    m_pHandlers = nullptr;
    Notify(INTERNET_STATUS_HANDLE_CLOSING);
    const auto code = static_cast<CURLcode>(nCurlCode);
    if (code != CURLE_OK)
        strError = m_szError[0] != '\0' ? m_szError.data() : curl_easy_strerror(code);
    NoteOutcome(code, strError);
    return code == CURLE_OK;
}

void CWebSession::ReleaseHeaders()
{
    if (m_pCurl != nullptr)
        curl_easy_setopt(m_pCurl, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
    curl_slist_free_all(static_cast<curl_slist*>(m_pHeaders));
    m_pHeaders = nullptr;
}

// Sorts the client's result into the reasons a user can act on.
void CWebSession::NoteOutcome(int nCode, const std::string& strError)
{
    using EKind = WebFailure::EKind;
    long nStatus = 0;
    curl_easy_getinfo(m_pCurl, CURLINFO_RESPONSE_CODE, &nStatus);
    m_outcome.nHttpStatus = nStatus;
    m_outcome.strDetail = strError;
    switch (static_cast<CURLcode>(nCode)) {
    case CURLE_OK: m_outcome.kind = EKind::None; break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        m_outcome.kind = EKind::NameNotFound;
        m_outcome.strDetail = HostOfUrl(m_strUrl.c_str());
        break;
    case CURLE_COULDNT_CONNECT: {
        long nOsError = 0;
        curl_easy_getinfo(m_pCurl, CURLINFO_OS_ERRNO, &nOsError);
        m_outcome.kind = nOsError == ECONNREFUSED ? EKind::Refused : EKind::NoConnection;
        break;
    }
    case CURLE_OPERATION_TIMEDOUT: m_outcome.kind = EKind::TimedOut; break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_CLIENTCERT: m_outcome.kind = EKind::Tls; break;
    default: m_outcome.kind = EKind::Other; break;
    }
}

void CWebSession::Cancel()
{
    m_bCancelled = true;
    EnableStatusCallback(false);
}

void CWebSession::Close()
{
    EnableStatusCallback(false);
    ReleaseHeaders();
    if (m_pCurl != nullptr) {
        curl_easy_cleanup(m_pCurl);
        m_pCurl = nullptr;
    }
}

void CWebSession::Notify(std::uint32_t dwStatus, const std::string& strInfo)
{
    if (!m_bCallbackEnabled)
        return;
    if (strInfo.empty())
        OnStatusCallback(WEB_SESSION_CONTEXT, dwStatus, nullptr, 0);
    else
        OnStatusCallback(WEB_SESSION_CONTEXT, dwStatus, strInfo.c_str(), static_cast<std::uint32_t>(strInfo.size() + 1));
}

void CWebSession::OnStatusCallback(std::uint32_t, std::uint32_t dwStatus, const void* pInfo, std::uint32_t dwInfoLength)
{
    std::string strText;
    if (WebStatusText(dwStatus, pInfo, dwInfoLength, strText))
        ShowWebStatus(this, "%s", strText.c_str());
}
