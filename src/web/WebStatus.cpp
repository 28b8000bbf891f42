#include "web/WebStatus.h"

#include "web/WebSession.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

std::string InfoText(const void* pInfo, std::uint32_t dwInfoLength)
{
    if (pInfo == nullptr)
        return {};
    const auto* psz = static_cast<const char*>(pInfo);
    return std::string(psz, strnlen(psz, dwInfoLength));
}

std::string RequestCompleteText(const void* pInfo, std::uint32_t dwInfoLength)
{
    if (pInfo == nullptr || dwInfoLength != 8)
        return "Request complete";
    std::uint32_t values[2];
    std::memcpy(values, pInfo, sizeof values);
    char szText[64];
    std::snprintf(szText, sizeof szText, "Request complete, dwResult = %8.8X, dwError = %8.8X",
                  values[0], values[1]);
    return szText;
}

} // namespace

bool WebStatusText(std::uint32_t dwStatus, const void* pInfo, std::uint32_t dwInfoLength, std::string& strText)
{
    switch (dwStatus) {
    case INTERNET_STATUS_RESOLVING_NAME:
        strText = "Resolving name for " + InfoText(pInfo, dwInfoLength);
        return true;
    case INTERNET_STATUS_NAME_RESOLVED:
        strText = "Resolved name for " + InfoText(pInfo, dwInfoLength);
        return true;
    case INTERNET_STATUS_CONNECTING_TO_SERVER: strText = "Connecting to socket address "; return true;
    case INTERNET_STATUS_CONNECTED_TO_SERVER: strText = "Connected to socket address"; return true;
    case INTERNET_STATUS_SENDING_REQUEST: strText = "Sending request..."; return true;
    case INTERNET_STATUS_REQUEST_SENT: strText = "Request sent"; return true;
    case INTERNET_STATUS_RECEIVING_RESPONSE: return false;
    case INTERNET_STATUS_RESPONSE_RECEIVED: strText = "Response received"; return true;
    case INTERNET_STATUS_CLOSING_CONNECTION: strText = "Closing the connection to the server"; return true;
    case INTERNET_STATUS_CONNECTION_CLOSED: strText = "Connection to the server closed"; return true;
    case INTERNET_STATUS_HANDLE_CREATED: strText = "Handle created"; return true;
    case INTERNET_STATUS_HANDLE_CLOSING: return false;
    case INTERNET_STATUS_REQUEST_COMPLETE:
        strText = RequestCompleteText(pInfo, dwInfoLength);
        return true;
    default:
        strText = "Unknown status: " + std::to_string(dwStatus);
        return true;
    }
}

void ShowWebStatus(CWebSession* pSession, const char* pszFormat, ...)
{
    char szText[WEB_STATUS_MAX_CHARS + 1];
    va_list args;
    va_start(args, pszFormat);
    std::vsnprintf(szText, sizeof szText, pszFormat, args);
    va_end(args);

    if (pSession != nullptr && pSession->m_fnStatusSink)
        pSession->m_fnStatusSink(szText);
}
