// One HTTP download from the firmware web service into a text, with a progress text in the
// status list while the body arrives. One downloader serves one request.
#pragma once

#include "web/WebLimits.h"
#include "web/WebSession.h"

#include <atomic>
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

    // One GET of strUrl; strBody receives the whole body. True when the body was read to its
    // end, whatever the HTTP status; false on any failure, after an "Error: " status text.
    bool Download(const std::string& strUrl, std::string& strBody);

    // Why the last Download failed, or the status of the answer it read.
    const WebFailure& Outcome() const { return m_outcome; }

    bool OpenSession();
    void CloseSession();

    // Replace the clock or the limits (tests run shorter stall limits and a fixed clock).
    void SetClock(ClockFn fnNow);
    void SetLimits(const WebLimits& limits);

    bool m_bReload = false;
    // Status texts go here when set (none: they are not shown); the request ends early, as a
    // failure, once *m_pCancel is set.
    std::function<void(const std::string&)> m_fnStatusSink;
    const std::atomic<bool>* m_pCancel = nullptr;
    std::unique_ptr<CWebSession> m_pSession;

private:
    // The body as it is read: whole pieces of READ_PIECE_BYTES, the rest held until more comes.
    struct ReadState {
        std::string* pBody = nullptr;
        std::string strPending;
        std::int64_t nStartS = 0;
        bool bStarted = false;
        bool bTooLarge = false;
    };

    bool AcceptBytes(ReadState& state, const char* pData, std::size_t nBytes);
    void TakePiece(ReadState& state, const char* pData, std::size_t nBytes);
    void ShowError(const std::string& strClientText);

    ClockFn m_fnNow;
    WebLimits m_limits;
    WebFailure m_outcome;
};

// The current wall-clock time in whole seconds.
std::int64_t WallClockSeconds();
