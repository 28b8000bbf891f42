// A small firmware web service on 127.0.0.1 for the demo and the tests: answers the firmware
// query with an image (or with one of the faults a real service may show) and records every
// completion report.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

enum class WebServiceAnswer {
    Image,       // 200 with the image
    ErrorPage,   // 500 with an HTML page
    Junk,        // 200 with binary bytes
    Empty,       // 200 with no body
    CutMidBody,  // announces the whole image, sends half of it and closes the connection
};

struct WebServiceOptions {
    std::string strImage;         // the body of the firmware answer, sent as it stands
    WebServiceAnswer answer = WebServiceAnswer::Image;
    int nSlowMs = 0;              // pause before each piece of the body
    bool bChunked = false;        // send the body chunked, without announcing its length
    std::string strReportsFile;   // each report is appended as one line; empty: none
    bool bPrintRequests = false;  // echo each query and report to stdout
};

class CFirmwareWebService {
public:
    explicit CFirmwareWebService(WebServiceOptions options);
    ~CFirmwareWebService();
    CFirmwareWebService(const CFirmwareWebService&) = delete;
    CFirmwareWebService& operator=(const CFirmwareWebService&) = delete;

    // Binds 127.0.0.1:nPort (0: a free port); connections queue from then on.
    bool Bind(int nPort);
    int Port() const { return m_nPort; }
    // Serves until Stop; blocks the calling thread.
    bool Listen();
    // Bind and serve on a thread of its own (tests).
    bool Start(int nPort = 0);
    void Stop();

    // Each completion report's query ("sn=..&fw=..&ldr=..&done=1"), in arrival order.
    std::vector<std::string> Reports() const;
    // Each request's target as it arrived on the wire (path and raw query).
    std::vector<std::string> Requests() const;

private:
    struct CHandlers;  // the HTTP side, kept out of this header

    void RecordRequest(const std::string& strTarget);
    void RecordReport(const std::string& strQuery);

    WebServiceOptions m_options;
    std::unique_ptr<CHandlers> m_pHandlers;
    std::thread m_thread;
    std::atomic<bool> m_bListenDone{false};
    int m_nPort = -1;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_reports;
    std::vector<std::string> m_requests;
};

// The text with every line end (CR LF, LF or a lone CR) made CR LF, as the service sends it.
std::string ToCrLfLines(std::string_view strText);

// The default answer: the sample programming file with CR LF line ends.
std::string DefaultServiceImage();
