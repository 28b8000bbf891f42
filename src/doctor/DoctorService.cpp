#include "doctor/DoctorService.h"

#include "web/MultiWebRequest.h"
#include "web/ServiceUrl.h"

#include <cctype>

namespace {
const char* const HTTPS_PREFIX = "https://";
const char* const SET_SERVICE_FIX =
    "Set it with the window's Firmware Service\u2026 or with --service URL.";
constexpr long FIRST_SERVER_ERROR = 500;

bool IsHttps(const std::string& url)
{
    std::string scheme = url.substr(0, std::string(HTTPS_PREFIX).size());
    for (char& c : scheme)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return scheme == HTTPS_PREFIX;
}
} // namespace

CServiceCheck::CServiceCheck(WebRequestFactory factory) : m_factory(std::move(factory))
{
    if (!m_factory) {
        m_factory = [](IWebRequest::StatusFn fnStatus, IWebRequest::DoneFn fnDone) {
            auto pRequest =
                std::make_unique<CMultiWebRequest>(std::move(fnStatus), std::move(fnDone));
            WebLimits limits;
            limits.nConnectTimeoutMs = CONNECT_LIMIT_MS;
            limits.nStallLimitS = STALL_LIMIT_S;
            pRequest->SetLimits(limits);
            return std::unique_ptr<IWebRequest>(std::move(pRequest));
        };
    }
}

CServiceCheck::~CServiceCheck()
{
    if (m_pRequest)
        m_pRequest->Cancel();
}

bool CServiceCheck::Start(const std::string& url, DoneFn fnDone)
{
    m_checks.clear();
    if (url.empty()) {
        m_checks.push_back({"service",
                            "",
                            EDoctorStatus::Skipped,
                            "No firmware service is set: updates come from an image file.",
                            {"Only for updates from the web: set it with the window's Firmware "
                             "Service\u2026 or with --service URL."}});
        return false;
    }
    std::string reason;
    if (!CheckServiceUrl(url, m_strUrl, reason)) {
        m_checks.push_back(
            {"service",
             "",
             EDoctorStatus::Fail,
             "The firmware service \"" + url + "\" is not an address: " + reason + ".",
             {SET_SERVICE_FIX}});
        return false;
    }
    m_fnDone = std::move(fnDone);
    m_pRequest = m_factory({}, [this](bool, std::string&) { OnAnswer(m_pRequest->Outcome()); });
    m_pRequest->Start(m_strUrl);
    return true;
}

void CServiceCheck::OnAnswer(const WebFailure& outcome)
{
    if (outcome.kind != WebFailure::EKind::None)
        m_checks.push_back(
            {"service",
             "",
             EDoctorStatus::Fail,
             "The firmware service " + m_strUrl + " does not answer: " + WebFailureReason(outcome) +
                 ".",
             {"Check the address and this computer's network.",
              "If the address is wrong, set the right one with the window's Firmware "
              "Service\u2026 or with --service URL."}});
    else if (outcome.nHttpStatus >= FIRST_SERVER_ERROR)
        m_checks.push_back({"service",
                            "",
                            EDoctorStatus::Warn,
                            "The firmware service " + m_strUrl +
                                " answers with an error: " + outcome.strStatusLine + ".",
                            {"Try again later, or ask the service's keeper."}});
    else
        m_checks.push_back({"service",
                            "",
                            EDoctorStatus::Pass,
                            "The firmware service " + m_strUrl + " answers (" +
                                (outcome.strStatusLine.empty() ? std::string("no status line")
                                                               : outcome.strStatusLine) +
                                ").",
                            {}});
    if (IsHttps(m_strUrl))
        m_checks.push_back({"service.https",
                            "",
                            EDoctorStatus::Pass,
                            "The service's address is https: images arrive unaltered.",
                            {}});
    else
        m_checks.push_back(
            {"service.https",
             "",
             EDoctorStatus::Warn,
             "The service's address is plain http: an image can be altered on its way.",
             {"Use the service's https:// address if it has one."}});
    DoneFn fnDone = std::move(m_fnDone);
    if (fnDone)
        fnDone(m_checks);
}
