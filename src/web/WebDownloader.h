// One HTTP download from the firmware web service into a text, with a progress text in the
// status list while the body arrives and an "Error: " text when it fails. One downloader serves
// one request; a multi handle runs its transfer between BeginDownload and EndDownload.
#pragma once

#include "web/WebLimits.h"
#include "web/WebSession.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CWebDownloader {
public:
    // Wall-clock time in whole seconds; the download rate is measured with it.
    using ClockFn = std::function<std::int64_t()>;

    CWebDownloader();
    virtual ~CWebDownloader();
    CWebDownloader(const CWebDownloader&) = delete;
    CWebDownloader& operator=(const CWebDownloader&) = delete;

    // Sets up one GET of strUrl; false when it cannot be made (Outcome says why).
    bool BeginDownload(const std::string& strUrl);
    // The CURL easy handle to run, once BeginDownload has succeeded.
    void* EasyHandle() const;
    // Ends the download with the client's result code (a CURLcode). True when the body was read
    // to its end, whatever the HTTP status; false on any failure, after an "Error: " status text.
    bool EndDownload(int nCurlCode);
    // Stops the download at the client's next callback; nothing more is shown.
    void Cancel();

    // The body read so far; the whole body after a successful EndDownload, empty after a failure.
    std::string& Body() { return m_strBody; }
    // Why the last download failed, or the status of the answer it read.
    const WebFailure& Outcome() const { return m_outcome; }

    bool OpenSession();
    void CloseSession();

    // Replace the clock or the limits (tests run shorter stall limits and a fixed clock).
    void SetClock(ClockFn fnNow);
    void SetLimits(const WebLimits& limits);

    bool m_bReload = false;
    // Status texts go here when set (none: they are not shown).
    std::function<void(const std::string&)> m_fnStatusSink;
    std::unique_ptr<CWebSession> m_pSession;

private:
    // The body as it is read: whole pieces of READ_PIECE_BYTES, the rest held until more comes.
    struct ReadState {
        std::string strPending;
        std::int64_t nStartS = 0;
        bool bStarted = false;
        bool bTooLarge = false;
    };

    bool AcceptBytes(const char* pData, std::size_t nBytes);
    void TakePiece(const char* pData, std::size_t nBytes);
    void ShowError(const std::string& strClientText);

    ClockFn m_fnNow;
    WebLimits m_limits;
    WebFailure m_outcome;
    std::string m_strBody;
    ReadState m_read;
    CWebSession::ResponseHandlers m_handlers;
};

// The current wall-clock time in whole seconds.
std::int64_t WallClockSeconds();
