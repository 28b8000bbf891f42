// The internet session of one web request: a libcurl easy handle set up for the request, whose
// progress (resolving, connecting, sending, response, closing) becomes status texts for a sink.
// Whoever drives the transfer (a multi handle) calls BeginRequest, runs it, then EndRequest.
#pragma once

#include <cstdint>
#include "web/WebFailure.h"
#include "web/WebLimits.h"
#include "web/WebStatus.h"

#include <array>
#include <cstddef>
#include <functional>
#include <string>

class CWebSession {
public:
    // What a request does with its response: onOpened when a response's headers are complete,
    // onData with each block of its body (false ends the request as a failure).
    struct ResponseHandlers {
        std::function<void()> onOpened;
        std::function<bool(const char* pData, std::size_t nBytes)> onData;
    };

    // Opens the session and turns the status notifications on; their texts go to
    // m_fnStatusSink while it is set.
    CWebSession();
    virtual ~CWebSession();
    CWebSession(const CWebSession&) = delete;
    CWebSession& operator=(const CWebSession&) = delete;

    // False when the session could not be opened; it then carries no request.
    bool IsOpen() const;
    bool EnableStatusCallback(bool bEnable);

    // Sets the handle up for one GET of strUrl, whose body goes to the handlers (kept until
    // EndRequest). dwFlags: INTERNET_FLAG_RELOAD, INTERNET_FLAG_TRANSFER_BINARY. False, with
    // the client's text in strError and the outcome noted, when the request cannot be made.
    bool BeginRequest(const std::string& strUrl, std::uint32_t dwFlags, const WebLimits& limits,
                      const ResponseHandlers& handlers, std::string& strError);
    // The CURL easy handle to run between BeginRequest and EndRequest.
    void* EasyHandle() const { return m_pCurl; }
    // Ends the request with the client's result code (a CURLcode); false, with the client's
    // text in strError, when it failed.
    bool EndRequest(int nCurlCode, std::string& strError);

    // Why the last request failed, or the status of the answer it got.
    const WebFailure& LastOutcome() const { return m_outcome; }

    // Turns the notifications off and releases the session; later requests fail.
    void Close();

    // Called for each progress notification of a request made through this session.
    virtual void OnStatusCallback(std::uint32_t dwContext, std::uint32_t dwStatus, const void* pInfo,
                                  std::uint32_t dwInfoLength);

    // Ends the request in progress as a failure at its next callback, and shows nothing more.
    void Cancel();
    bool IsCancelled() const { return m_bCancelled; }

    // Where the status texts go, when set; none: they are not shown (the window shows each in
    // place of the status list's last line).
    std::function<void(const std::string&)> m_fnStatusSink;

protected:
    // A file of the certificate authorities that https requests trust instead of the system's
    // own; empty (the default) keeps the system's.
    virtual std::string TrustedCertificateFile() const { return {}; }

private:
    friend struct CCurlHooks;

    void Notify(std::uint32_t dwStatus, const std::string& strInfo = {});
    void NoteOutcome(int nCode, const std::string& strError);
    bool ApplyRequestOptions(const std::string& strUrl, const WebLimits& limits, void* pHeaders);
    void ReleaseHeaders();

    void* m_pCurl = nullptr;  // the CURL easy handle
    bool m_bCallbackEnabled = false;
    bool m_bInHeaders = false;
    bool m_bRequestSent = false;
    bool m_bCancelled = false;
    const ResponseHandlers* m_pHandlers = nullptr;  // set while a request runs
    void* m_pHeaders = nullptr;                     // its curl_slist of request headers
    std::string m_strUrl;                           // the address it was made for
    std::array<char, 256> m_szError{};               // CURL_ERROR_SIZE
    WebFailure m_outcome;
};

// The context value of every notification.
constexpr std::uint32_t WEB_SESSION_CONTEXT = 1;
