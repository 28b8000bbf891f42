// A request to the firmware web service that runs on the thread that starts it, served by that
// thread's event loop through libcurl's multi interface: no thread, nothing waits.
#pragma once

#include "web/WebDownloader.h"
#include "web/WebRequest.h"

#include <memory>
#include <string>

class CMultiTransfer;

class CMultiWebRequest : public IWebRequest {
public:
    // fnStatus may be empty (no status texts); fnDone is called once, from the event loop,
    // unless the request is cancelled or destroyed first.
    CMultiWebRequest(StatusFn fnStatus, DoneFn fnDone);
    // Ends a request still running at once; never waits.
    ~CMultiWebRequest() override;
    CMultiWebRequest(const CMultiWebRequest&) = delete;
    CMultiWebRequest& operator=(const CMultiWebRequest&) = delete;

    void Start(const std::string& strUrl) override;
    void Cancel() override;
    bool IsDone() const override { return m_bDone; }
    bool IsFinished() const override;
    const WebFailure& Outcome() const override { return m_outcome; }

    // Before Start: other limits or another clock (tests run short stall limits, a fixed clock).
    void SetLimits(const WebLimits& limits);
    void SetClock(CWebDownloader::ClockFn fnNow);

private:
    struct CDiscard {
        void operator()(CMultiTransfer* pTransfer) const;
    };

    void OnDone(bool bDownloaded);

    StatusFn m_fnStatus;
    DoneFn m_fnDone;
    bool m_bDone = false;
    WebFailure m_outcome;
    // May outlive the request for a moment when destroyed from inside one of its callbacks.
    std::unique_ptr<CMultiTransfer, CDiscard> m_pTransfer;
};
