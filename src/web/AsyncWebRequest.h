// One request to the firmware web service on a thread of its own, so that the thread that
// started it (the window's) never waits on the network. Status texts and the outcome come back
// as events handled on the starting thread, in the order they happened.
#pragma once

#include "web/WebRequest.h"

#include <QObject>

#include <memory>
#include <string>

class CAsyncWebRequest : public IWebRequest {
public:
    // fnStatus may be empty (no status texts); fnDone is called once, unless the request is
    // destroyed first.
    CAsyncWebRequest(StatusFn fnStatus, DoneFn fnDone);
    // Cancels a request still running; never waits longer than a moment for its thread.
    ~CAsyncWebRequest() override;
    CAsyncWebRequest(const CAsyncWebRequest&) = delete;
    CAsyncWebRequest& operator=(const CAsyncWebRequest&) = delete;

    void Start(const std::string& strUrl) override;
    void Cancel() override;
    bool IsDone() const override { return m_bDone; }
    bool IsFinished() const override;
    const WebFailure& Outcome() const override { return m_outcome; }

    struct Shared;

private:
    class CReceiver;
    std::shared_ptr<Shared> m_pShared;
    std::unique_ptr<CReceiver> m_pReceiver;
    StatusFn m_fnStatus;
    DoneFn m_fnDone;
    bool m_bDone = false;
    WebFailure m_outcome;
};
