// Requests to the simulated firmware service running in this process, served by this thread's
// event loop: the body, the status texts on the one status line, and every way a request can
// fail.
#include "FirmwareWebService.h"
#include "StatusRecorder.h"
#include "WebFetch.h"
#include "web/WebQuery.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

namespace {

const std::vector<std::string> LOGGED_BEFORE = {"logged before"};

// A text of exactly nBytes bytes in CR LF lines.
std::string MakeBody(std::size_t nBytes)
{
    std::string strBody;
    while (strBody.size() < nBytes)
        strBody += ":10000000000102030405060708090A0B0C0D0E0F78\r\n";
    strBody.resize(nBytes);
    return strBody;
}

// A port on 127.0.0.1 where nothing listens.
int ClosedPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &nLength);
    close(fd);
    return ntohs(address.sin_port);
}

class WebDownloadTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_recorder.AddLine(LOGGED_BEFORE[0]);
        m_options.fnStatus = m_recorder.Sink();
        // Whole seconds of wall-clock time: a request may cross a second boundary at any time,
        // so the clock stands still unless a test moves it.
        m_options.fnClock = [] { return std::int64_t{1000}; };
    }

    void StartService(WebServiceOptions options)
    {
        m_pService = std::make_unique<CFirmwareWebService>(std::move(options));
        ASSERT_TRUE(m_pService->Start());
    }

    void StartService(WebServiceAnswer answer, std::string strImage = MakeBody(1500))
    {
        WebServiceOptions options;
        options.answer = answer;
        options.strImage = std::move(strImage);
        StartService(std::move(options));
    }

    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_pService->Port()); }

    // The firmware query as the dialog makes it: one empty line first, then the download with
    // its status texts in place of that line.
    bool QueryFirmware(std::string& strBody)
    {
        m_recorder.AddLine("");
        m_answer = Fetch(BuildFirmwareUrl(BaseUrl(), "00123456", "0105", "0102", false), m_options);
        EXPECT_TRUE(m_answer.bDone);
        strBody = m_answer.strBody;
        return m_answer.bDownloaded;
    }

    std::string LastLine() const { return m_recorder.Lines().back(); }

    CStatusRecorder m_recorder;
    std::unique_ptr<CFirmwareWebService> m_pService;
    FetchOptions m_options;
    WebAnswer m_answer;
};

} // namespace

TEST_F(WebDownloadTest, OneRequestShowsItsStatusTextsInOrderOnOneLine)
{
    const std::string strImage = MakeBody(1500);
    StartService(WebServiceAnswer::Image, strImage);
    std::string strBody;
    ASSERT_TRUE(QueryFirmware(strBody));
    EXPECT_EQ(strBody, strImage);
    const std::vector<std::string> expected = {
        LOGGED_BEFORE[0],
        "",  // the line that the caller adds for the request
        "Handle created",
        "Resolving name for 127.0.0.1",
        "Resolved name for 127.0.0.1",
        "Connecting to socket address ",
        "Connected to socket address",
        "Sending request...",
        "Request sent",
        "Response received",
        "Downloading lastest update 1024 bytes",
        "Downloading lastest update 1500 bytes",
    };
    EXPECT_EQ(m_recorder.Texts(), expected);
    EXPECT_EQ(m_recorder.Lines(), (std::vector<std::string>{LOGGED_BEFORE[0], "Downloading lastest update 1500 bytes"}));
}

TEST_F(WebDownloadTest, ProgressShowsTheRateFromTheFirstWholeSecond)
{
    StartService(WebServiceAnswer::Image, MakeBody(5 * 1024));
    // Two seconds pass before the fifth piece.
    m_options.fnClock = [this]() -> std::int64_t {
        return m_recorder.TextsStartingWith("Downloading").size() < 4 ? 1000 : 1002;
    };
    std::string strBody;
    ASSERT_TRUE(QueryFirmware(strBody));
    EXPECT_EQ(m_recorder.TextsStartingWith("Downloading"),
              (std::vector<std::string>{"Downloading lastest update 1024 bytes", "Downloading lastest update 2048 bytes",
                                        "Downloading lastest update 3072 bytes", "Downloading lastest update 4096 bytes",
                                        "Downloading lastest update 5120 bytes (2.5 Kb/s)"}));
}

TEST_F(WebDownloadTest, BodyArrivingInSlowPiecesIsReadWhole)
{
    WebServiceOptions options;
    options.strImage = MakeBody(2500);
    options.nSlowMs = 30;
    options.bChunked = true;
    StartService(std::move(options));
    std::string strBody;
    ASSERT_TRUE(QueryFirmware(strBody));
    EXPECT_EQ(strBody, MakeBody(2500));
    EXPECT_EQ(m_recorder.TextsStartingWith("Downloading"),
              (std::vector<std::string>{"Downloading lastest update 1024 bytes", "Downloading lastest update 2048 bytes",
                                        "Downloading lastest update 2500 bytes"}));
}

TEST_F(WebDownloadTest, RefusedConnectionLeavesTheClientsErrorTextAsTheLastLine)
{
    const int nPort = ClosedPort();
    m_recorder.AddLine("");
    const WebAnswer answer =
        Fetch(BuildFirmwareUrl("http://127.0.0.1:" + std::to_string(nPort), "1", "2", "3", false), m_options);
    ASSERT_TRUE(answer.bDone);
    EXPECT_FALSE(answer.bDownloaded);
    EXPECT_TRUE(answer.strBody.empty());
    ASSERT_EQ(m_recorder.Lines().size(), 2u);
    EXPECT_EQ(LastLine().rfind("Error: Failed to connect to 127.0.0.1 port " + std::to_string(nPort), 0), 0u)
        << LastLine();
}

TEST_F(WebDownloadTest, ErrorPageJunkAndEmptyBodyAreSuccessfulDownloads)
{
    std::string strBody;
    StartService(WebServiceAnswer::ErrorPage);
    ASSERT_TRUE(QueryFirmware(strBody));
    EXPECT_NE(strBody.find("500 Internal Server Error"), std::string::npos);
    EXPECT_EQ(LastLine(), "Downloading lastest update " + std::to_string(strBody.size()) + " bytes");

    m_pService.reset();
    StartService(WebServiceAnswer::Junk);
    ASSERT_TRUE(QueryFirmware(strBody));
    EXPECT_EQ(strBody.size(), 3000u);

    m_pService.reset();
    StartService(WebServiceAnswer::Empty);
    ASSERT_TRUE(QueryFirmware(strBody));
    EXPECT_TRUE(strBody.empty());
    EXPECT_EQ(LastLine(), "Response received");
    // One line for each of the three requests.
    EXPECT_EQ(m_recorder.Lines().size(), 4u);
}

TEST_F(WebDownloadTest, BodyCutMidWayFailsAndDropsWhatArrived)
{
    StartService(WebServiceAnswer::CutMidBody, MakeBody(4096));
    std::string strBody;
    EXPECT_FALSE(QueryFirmware(strBody));
    EXPECT_TRUE(strBody.empty());
    EXPECT_EQ(LastLine(), "Error: transfer closed with 2048 bytes remaining to read");
    EXPECT_EQ(m_recorder.Lines().size(), 2u);
}

TEST_F(WebDownloadTest, StalledAnswerEndsTheRequest)
{
    WebServiceOptions options;
    options.strImage = MakeBody(100);
    options.nSlowMs = 3000;
    StartService(std::move(options));
    m_options.limits.nStallLimitS = 1;
    std::string strBody;
    EXPECT_FALSE(QueryFirmware(strBody));
    EXPECT_EQ(LastLine().rfind("Error: Operation too slow", 0), 0u) << LastLine();
}

TEST_F(WebDownloadTest, AnswerOverTheBodyLimitIsCutOffAsAFailure)
{
    for (const bool bChunked : {false, true}) {
        SCOPED_TRACE(bChunked ? "length not announced" : "length announced");
        WebServiceOptions options;
        options.strImage = std::string(MAX_BODY_BYTES + 1, 'x');
        options.bChunked = bChunked;
        StartService(std::move(options));
        std::string strBody;
        EXPECT_FALSE(QueryFirmware(strBody));
        EXPECT_TRUE(strBody.empty());
        EXPECT_EQ(LastLine(), "Error: Maximum file size exceeded");
        m_pService.reset();
    }
}

TEST_F(WebDownloadTest, AnswerOfExactlyTheBodyLimitIsAccepted)
{
    WebServiceOptions options;
    options.strImage = std::string(MAX_BODY_BYTES, 'x');
    options.bChunked = true;
    StartService(std::move(options));
    const WebAnswer answer = Fetch(BuildFirmwareUrl(BaseUrl(), "1", "2", "3", false));
    ASSERT_TRUE(answer.bDownloaded);
    EXPECT_EQ(answer.strBody.size(), MAX_BODY_BYTES);
}

TEST_F(WebDownloadTest, ReportWithoutStatusSinkLeavesTheListAloneAndEscapesItsValues)
{
    StartService(WebServiceAnswer::Image);
    EXPECT_TRUE(Fetch(BuildFirmwareUrl(BaseUrl(), "SN 7&x", "0107", "0102", true)).bDownloaded);
    EXPECT_EQ(m_recorder.Lines(), LOGGED_BEFORE);
    EXPECT_EQ(m_pService->Reports(), std::vector<std::string>{"sn=SN%207%26x&fw=0107&ldr=0102&done=1"});
}

// Each way a request can fail is told by its own reason, and so is an answer with an error status.
TEST_F(WebDownloadTest, EachFailureNamesItsReason)
{
    StartService(WebServiceAnswer::ErrorPage);
    WebServiceOptions slowOptions;
    slowOptions.strImage = MakeBody(100);
    slowOptions.nSlowMs = 3000;
    CFirmwareWebService slowService(std::move(slowOptions));
    ASSERT_TRUE(slowService.Start());
    const std::string port = std::to_string(m_pService->Port());
    struct Case {
        std::string strUrl;
        bool bDownloaded;
        std::string strReasonStart;
    };
    const Case cases[] = {
        {"http://127.0.0.1:" + std::to_string(ClosedPort()) + "/", false, "connection refused ("},
        {"http://kx-no-such-host.invalid/", false, "name not found (kx-no-such-host.invalid)"},
        {"https://127.0.0.1:" + port + "/", false, "TLS failure ("},
        {BuildFirmwareUrl("http://127.0.0.1:" + std::to_string(slowService.Port()), "1", "2", "3",
                          false),
         false,
         "time-out (Operation too slow"},
        {BuildFirmwareUrl(BaseUrl(), "1", "2", "3", false), true,
         "the service answered HTTP/1.1 500 Internal Server Error"},
    };
    FetchOptions options;
    options.limits.nStallLimitS = 1;
    for (const Case& c : cases) {
        const WebAnswer answer = Fetch(c.strUrl, options);
        ASSERT_TRUE(answer.bDone) << c.strUrl;
        EXPECT_EQ(answer.bDownloaded, c.bDownloaded) << c.strUrl;
        const std::string reason = WebFailureReason(answer.outcome);
        EXPECT_EQ(reason.rfind(c.strReasonStart, 0), 0u) << c.strUrl << ": " << reason;
        EXPECT_TRUE(answer.outcome.IsFailure()) << c.strUrl;
    }
}

// Every status text of a failed request, in order, as the blocking client of earlier versions
// showed them: the closing texts come before the error only when the connection is dropped.
TEST_F(WebDownloadTest, FailedRequestsShowTheirWholeSequenceOfTexts)
{
    const std::vector<std::string> UP_TO_REQUEST_SENT = {
        "Handle created", "Resolving name for 127.0.0.1", "Resolved name for 127.0.0.1",
        "Connecting to socket address ", "Connected to socket address", "Sending request...", "Request sent"};
    const std::vector<std::string> CLOSED = {"Closing the connection to the server", "Connection to the server closed"};
    const auto join = [](std::initializer_list<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (const auto& part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    WebServiceOptions cut;
    cut.answer = WebServiceAnswer::CutMidBody;
    cut.strImage = MakeBody(4096);
    WebServiceOptions tooLarge;
    tooLarge.strImage = std::string(MAX_BODY_BYTES + 1, 'x');
    WebServiceOptions plain;
    plain.strImage = MakeBody(100);
    struct Case {
        const char* pszName;
        WebServiceOptions* pService;  // none: nothing listens
        std::vector<std::string> texts;  // the last one is the start of the error text
    };
    const std::vector<std::string> CONNECTING(UP_TO_REQUEST_SENT.begin(), UP_TO_REQUEST_SENT.begin() + 4);
    const Case cases[] = {
        {"refused", nullptr, join({CONNECTING, CLOSED, {"Error: Failed to connect to 127.0.0.1 port "}})},
        {"cut mid-body", &cut,
         join({UP_TO_REQUEST_SENT,
               {"Response received", "Downloading lastest update 1024 bytes", "Downloading lastest update 2048 bytes"},
               CLOSED, {"Error: transfer closed with 2048 bytes remaining to read"}})},
        {"too large", &tooLarge, join({UP_TO_REQUEST_SENT, CLOSED, {"Error: Maximum file size exceeded"}})},
        {"https to a plain service", &plain, join({CONNECTING, CLOSED, {"Error: OpenSSL/"}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        CStatusRecorder recorder;
        FetchOptions options = m_options;
        options.fnStatus = recorder.Sink();
        std::string strUrl = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
        std::unique_ptr<CFirmwareWebService> pService;
        if (c.pService != nullptr) {
            pService = std::make_unique<CFirmwareWebService>(*c.pService);
            ASSERT_TRUE(pService->Start());
            strUrl = BuildFirmwareUrl((c.pService == &plain ? "https" : "http") + std::string("://127.0.0.1:") +
                                          std::to_string(pService->Port()),
                                      "1", "2", "3", false);
        }
        const WebAnswer answer = Fetch(strUrl, options);
        ASSERT_TRUE(answer.bDone);
        EXPECT_FALSE(answer.bDownloaded);
        std::vector<std::string> texts = recorder.Texts();
        ASSERT_EQ(texts.size(), c.texts.size()) << testing::PrintToString(texts);
        EXPECT_EQ(texts.back().rfind(c.texts.back(), 0), 0u) << texts.back();
        texts.back() = c.texts.back();
        EXPECT_EQ(texts, c.texts);
    }
}
