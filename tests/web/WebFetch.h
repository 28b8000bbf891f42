// Runs web requests the way the engine's thread does: started here, served by this thread's
// event loop until they are done.
#pragma once

#include "web/MultiWebRequest.h"

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>

// Runs the event loop until fnDone holds or the limit has passed; what fnDone says then.
inline bool RunEventsUntil(const std::function<bool()>& fnDone,
                           std::chrono::milliseconds limit = std::chrono::seconds(60))
{
    if (fnDone())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (fnDone())
            loop.quit();
    });
    poll.start(2);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    loop.exec();
    return fnDone();
}

// Lets the event loop run for a while, whatever happens.
inline void RunEventsFor(std::chrono::milliseconds period)
{
    RunEventsUntil([] { return false; }, period);
}

struct WebAnswer {
    bool bDone = false;       // the outcome was delivered
    bool bDownloaded = false;
    std::string strBody;
    WebFailure outcome;
};

struct FetchOptions {
    IWebRequest::StatusFn fnStatus;  // none: no status texts
    WebLimits limits;
    CWebDownloader::ClockFn fnClock; // none: the wall clock
};

// One request to strUrl, run to its end.
inline WebAnswer Fetch(const std::string& strUrl, const FetchOptions& options = {})
{
    WebAnswer answer;
    CMultiWebRequest request(options.fnStatus, [&answer](bool bDownloaded, std::string& body) {
        answer.bDone = true;
        answer.bDownloaded = bDownloaded;
        answer.strBody = body;
    });
    request.SetLimits(options.limits);
    request.SetClock(options.fnClock);
    request.Start(strUrl);
    RunEventsUntil([&] { return answer.bDone; });
    answer.outcome = request.Outcome();
    return answer;
}
