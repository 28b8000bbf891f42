#include "FirmwareWebService.h"

#include "SampleImage.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <fstream>

namespace {

constexpr const char* FIRMWARE_PATH = "/firmware/kx410fw.php";
constexpr std::size_t PIECE_BYTES = 1024;     // one paced piece of a slow or cut body
constexpr std::size_t JUNK_BYTES = 3000;
constexpr auto STOP_POLL_INTERVAL = std::chrono::milliseconds(5);
constexpr const char* ERROR_PAGE =
    "<!DOCTYPE html>\r\n<html><head><title>500 Internal Server Error</title></head>\r\n"
    "<body><h1>Internal Server Error</h1><p>The firmware database is not available.</p></body></html>\r\n";

// Bytes of every value, CR, LF and NUL included; the same bytes on every run.
std::string JunkBytes()
{
    std::string strJunk;
    std::uint32_t nState = 0x410u;
    for (std::size_t i = 0; i < JUNK_BYTES; ++i) {
        nState = nState * 1664525u + 1013904223u;
        strJunk += static_cast<char>(nState >> 24);
    }
    return strJunk;
}

std::string QueryOf(const std::string& strTarget)
{
    const std::size_t nQuery = strTarget.find('?');
    return nQuery == std::string::npos ? std::string() : strTarget.substr(nQuery + 1);
}

} // namespace

// The HTTP server and its handlers; records go back to the service.
struct CFirmwareWebService::CHandlers {
    explicit CHandlers(CFirmwareWebService& service) : m_service(service)
    {
        m_server.set_keep_alive_timeout(1);
        m_server.Get(FIRMWARE_PATH, [this](const httplib::Request& request, httplib::Response& response) {
            OnFirmware(request, response);
        });
    }

    void OnFirmware(const httplib::Request& request, httplib::Response& response)
    {
        m_service.RecordRequest(request.target);
        const std::string strDone = request.get_param_value("done");
        if (strDone == "1") {
            m_service.RecordReport(QueryOf(request.target));
            response.set_content("OK\r\n", "text/plain");
        } else if (strDone == "0") {
            AnswerQuery(response);
        } else {
            response.status = 400;
            response.set_content("Bad request\r\n", "text/plain");
        }
    }

    void AnswerQuery(httplib::Response& response)
    {
        const WebServiceOptions& options = m_service.m_options;
        switch (options.answer) {
        case WebServiceAnswer::ErrorPage:
            response.status = 500;
            response.set_content(ERROR_PAGE, "text/html");
            return;
        case WebServiceAnswer::Junk: SendPaced(response, JunkBytes(), JUNK_BYTES, "application/octet-stream"); return;
        case WebServiceAnswer::Empty: response.set_content("", "text/plain"); return;
        case WebServiceAnswer::CutMidBody:
            SendPaced(response, options.strImage, options.strImage.size() / 2, "text/plain");
            return;
        case WebServiceAnswer::Image: break;
        }
        SendPaced(response, options.strImage, options.strImage.size(), "text/plain");
    }

    // Sends the body in pieces (after the configured pause each), announced with its length or
    // chunked, and closes the connection once nStopAt bytes have gone out, if that is before
    // the end.
    void SendPaced(httplib::Response& response, std::string strBody, std::size_t nStopAt, const char* pszType)
    {
        const WebServiceOptions& options = m_service.m_options;
        if (options.nSlowMs == 0 && !options.bChunked && nStopAt == strBody.size()) {
            response.set_content(strBody, pszType);
            return;
        }
        const auto pBody = std::make_shared<const std::string>(std::move(strBody));
        const auto pause = std::chrono::milliseconds(options.nSlowMs);
        auto writePiece = [pBody, nStopAt, pause](std::size_t nOffset, httplib::DataSink& sink) {
            if (nOffset >= pBody->size()) {
                sink.done();
                return true;
            }
            if (nOffset >= nStopAt)
                return false;
            std::this_thread::sleep_for(pause);
            const std::size_t nPiece = std::min({PIECE_BYTES, pBody->size() - nOffset, nStopAt - nOffset});
            return sink.write(pBody->data() + nOffset, nPiece);
        };
        if (options.bChunked) {
            response.set_chunked_content_provider(pszType, writePiece);
        } else {
            response.set_content_provider(pBody->size(), pszType,
                                          [writePiece](std::size_t nOffset, std::size_t, httplib::DataSink& sink) {
                                              return writePiece(nOffset, sink);
                                          });
        }
    }

    CFirmwareWebService& m_service;
    httplib::Server m_server;
};

CFirmwareWebService::CFirmwareWebService(WebServiceOptions options)
    : m_options(std::move(options)), m_pHandlers(std::make_unique<CHandlers>(*this))
{
}

CFirmwareWebService::~CFirmwareWebService()
{
    Stop();
}

bool CFirmwareWebService::Bind(int nPort)
{
    httplib::Server& server = m_pHandlers->m_server;
    if (nPort == 0)
        m_nPort = server.bind_to_any_port("127.0.0.1");
    else
        m_nPort = server.bind_to_port("127.0.0.1", nPort) ? nPort : -1;
    return m_nPort > 0;
}

bool CFirmwareWebService::Listen()
{
    const bool bOk = m_pHandlers->m_server.listen_after_bind();
    m_bListenDone = true;
    return bOk;
}

bool CFirmwareWebService::Start(int nPort)
{
    if (m_thread.joinable() || !Bind(nPort))
        return false;
    m_thread = std::thread([this] { Listen(); });
    return true;
}

// The server ignores a stop request that comes before it has begun to listen, so the request
// is repeated until the listening thread has ended.
void CFirmwareWebService::Stop()
{
    if (!m_thread.joinable())
        return;
    while (!m_bListenDone) {
        m_pHandlers->m_server.stop();
        std::this_thread::sleep_for(STOP_POLL_INTERVAL);
    }
    m_thread.join();
}

std::vector<std::string> CFirmwareWebService::Reports() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reports;
}

std::vector<std::string> CFirmwareWebService::Requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void CFirmwareWebService::RecordRequest(const std::string& strTarget)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(strTarget);
    if (m_options.bPrintRequests) {
        std::printf("request: %s\n", strTarget.c_str());
        std::fflush(stdout);
    }
}

void CFirmwareWebService::RecordReport(const std::string& strQuery)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reports.push_back(strQuery);
    if (!m_options.strReportsFile.empty()) {
        std::ofstream file(m_options.strReportsFile, std::ios::app | std::ios::binary);
        file << strQuery << '\n';
    }
    if (m_options.bPrintRequests) {
        std::printf("report: %s\n", strQuery.c_str());
        std::fflush(stdout);
    }
}

std::string ToCrLfLines(std::string_view strText)
{
    std::string strOut;
    strOut.reserve(strText.size() + strText.size() / 16);
    for (std::size_t i = 0; i < strText.size(); ++i) {
        const char ch = strText[i];
        if (ch == '\r' || ch == '\n') {
            strOut += "\r\n";
            if (ch == '\r' && i + 1 < strText.size() && strText[i + 1] == '\n')
                ++i;
        } else {
            strOut += ch;
        }
    }
    return strOut;
}

std::string DefaultServiceImage()
{
    return ToCrLfLines(SampleImageText());
}
