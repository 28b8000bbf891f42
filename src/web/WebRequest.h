// A request to the firmware web service that runs beside its starter's work: status texts and
// the outcome come back later, on the starter's thread. The update engine starts its requests
// through a factory of these, so that a test can stand in for the service at this seam.
#pragma once

#include "web/WebFailure.h"

#include <functional>
#include <memory>
#include <string>

class IWebRequest {
public:
    using StatusFn = std::function<void(const std::string& text)>;
    // bDownloaded: the body was read to its end; body: what was read.
    using DoneFn = std::function<void(bool bDownloaded, std::string& body)>;

    virtual ~IWebRequest() = default;
    virtual void Start(const std::string& strUrl) = 0;
    // Nothing more is delivered: no status text, no outcome. Returns at once; nothing waits.
    virtual void Cancel() = 0;
    // The outcome has been delivered (or the request was cancelled).
    virtual bool IsDone() const = 0;
    // Nothing runs for the request any more: destroying it does not wait.
    virtual bool IsFinished() const = 0;
    // Once done: why the request failed, or the status of the answer it read.
    virtual const WebFailure& Outcome() const = 0;
};

// Makes a request that reports through the two callbacks (fnStatus may be empty).
using WebRequestFactory =
    std::function<std::unique_ptr<IWebRequest>(IWebRequest::StatusFn, IWebRequest::DoneFn)>;
