// The request on this thread's event loop: a cancel stops it at once, and requests on one thread
// do not wait for each other.
#include "FirmwareWebService.h"
#include "StatusRecorder.h"
#include "WebFetch.h"
#include "web/WebQuery.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr std::size_t PIECE = 1024;  // the simulated service's paced piece

// A service that sends nPieces pieces of the image, pausing nSlowMs before each.
std::unique_ptr<CFirmwareWebService> StartPacedService(std::size_t nPieces, int nSlowMs)
{
    WebServiceOptions options;
    options.strImage = std::string(nPieces * PIECE, 'x');
    options.nSlowMs = nSlowMs;
    options.bChunked = true;
    auto pService = std::make_unique<CFirmwareWebService>(std::move(options));
    return pService->Start() ? std::move(pService) : nullptr;
}

std::string QueryUrl(const CFirmwareWebService& service)
{
    return BuildFirmwareUrl("http://127.0.0.1:" + std::to_string(service.Port()), "00123456", "0105", "0102", false);
}

} // namespace

// Cancelled between two pieces of the body, from the event loop or from inside the request's
// own status text: it is finished when Cancel returns, and nothing more is delivered.
TEST(WebRequest, CancelMidBodyStopsAtOnceAndDeliversNothingMore)
{
    for (const bool bFromStatusText : {false, true}) {
        SCOPED_TRACE(bFromStatusText ? "from inside a status text" : "from the event loop");
        const auto pService = StartPacedService(8, 150);
        ASSERT_TRUE(pService);
        CStatusRecorder recorder;
        const auto fnRecord = recorder.Sink();
        bool bDoneCalled = false;
        std::unique_ptr<CMultiWebRequest> pRequest;
        pRequest = std::make_unique<CMultiWebRequest>(
            [&](const std::string& text) {
                fnRecord(text);
                if (bFromStatusText && text.rfind("Downloading", 0) == 0)
                    pRequest->Cancel();
            },
            [&](bool, std::string&) { bDoneCalled = true; });
        pRequest->Start(QueryUrl(*pService));
        ASSERT_TRUE(RunEventsUntil([&] { return !recorder.TextsStartingWith("Downloading").empty(); }));
        if (!bFromStatusText) {
            pRequest->Cancel();
            EXPECT_TRUE(pRequest->IsFinished());
        }
        EXPECT_TRUE(pRequest->IsDone());
        const std::vector<std::string> textsAtCancel = recorder.Texts();
        // A loaded machine may have read more than one piece before the cancel.
        EXPECT_EQ(textsAtCancel.back().rfind("Downloading lastest update ", 0), 0u);

        RunEventsFor(600ms);  // several more pieces would have come
        EXPECT_TRUE(pRequest->IsFinished());
        EXPECT_EQ(recorder.Texts(), textsAtCancel);
        EXPECT_FALSE(bDoneCalled);
        pRequest.reset();
        RunEventsFor(50ms);
        EXPECT_EQ(recorder.Texts(), textsAtCancel);
    }
}

// A slow request started first and a fast one after it, on one thread: the fast one ends first,
// and each request's texts and body are its own.
TEST(WebRequest, TwoRequestsOnOneThreadRunSideBySide)
{
    const auto pSlow = StartPacedService(4, 250);
    const auto pFast = StartPacedService(2, 0);
    ASSERT_TRUE(pSlow && pFast);
    std::vector<std::string> finished;
    CStatusRecorder slowTexts;
    CStatusRecorder fastTexts;
    std::string strSlowBody;
    std::string strFastBody;
    CMultiWebRequest slow(slowTexts.Sink(), [&](bool bDownloaded, std::string& body) {
        finished.push_back(bDownloaded ? "slow" : "slow failed");
        strSlowBody = body;
    });
    CMultiWebRequest fast(fastTexts.Sink(), [&](bool bDownloaded, std::string& body) {
        finished.push_back(bDownloaded ? "fast" : "fast failed");
        strFastBody = body;
    });
    slow.Start(QueryUrl(*pSlow));
    ASSERT_TRUE(RunEventsUntil([&] { return !slowTexts.TextsStartingWith("Response received").empty(); }));
    fast.Start(QueryUrl(*pFast));
    ASSERT_TRUE(RunEventsUntil([&] { return finished.size() == 2; }));
    EXPECT_EQ(finished, (std::vector<std::string>{"fast", "slow"}));
    EXPECT_EQ(strSlowBody, std::string(4 * PIECE, 'x'));
    EXPECT_EQ(strFastBody, std::string(2 * PIECE, 'x'));
    EXPECT_EQ(slowTexts.TextsStartingWith("Downloading").size(), 4u);
    EXPECT_EQ(fastTexts.TextsStartingWith("Downloading"),
              (std::vector<std::string>{"Downloading lastest update 1024 bytes", "Downloading lastest update 2048 bytes"}));
    EXPECT_TRUE(slow.IsFinished() && fast.IsFinished());
}
