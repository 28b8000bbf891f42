// The firmware service's checks: set or not, an address or not, https or not, and what its one
// answer says; the request is a stand-in that answers as each case asks.
#include "doctor/DoctorService.h"

#include <gtest/gtest.h>

namespace {
class CAnsweringRequest : public IWebRequest {
public:
    CAnsweringRequest(WebFailure outcome, DoneFn fnDone, std::string* pAskedUrl)
        : m_outcome(std::move(outcome)), m_fnDone(std::move(fnDone)), m_pAskedUrl(pAskedUrl) {}
    void Start(const std::string& strUrl) override
    {
        *m_pAskedUrl = strUrl;
        m_bDone = true;
        std::string body;
        m_fnDone(!m_outcome.IsFailure(), body);
    }
    void Cancel() override { m_bDone = true; }
    bool IsDone() const override { return m_bDone; }
    bool IsFinished() const override { return m_bDone; }
    const WebFailure& Outcome() const override { return m_outcome; }

private:
    WebFailure m_outcome;
    DoneFn m_fnDone;
    std::string* m_pAskedUrl;
    bool m_bDone = false;
};

const char* Status(const std::vector<DoctorCheck>& checks, const std::string& name)
{
    for (const DoctorCheck& check : checks) {
        if (check.name == name)
            return DoctorStatusName(check.status);
    }
    return "missing";
}
} // namespace

TEST(DoctorService, VerdictForEachAddressAndAnswer)
{
    struct Case {
        const char* url;
        WebFailure answer;
        bool bAsks;
        const char* service;
        const char* https;
        const char* text;
    };
    const Case cases[] = {
        {"", {}, false, "skipped", "missing", "No firmware service is set"},
        {"ftp://files.example", {}, false, "fail", "missing", "is not an address"},
        {"https://fw.example/", {WebFailure::EKind::None, "", 200, "HTTP/1.1 200 OK"}, true, "pass", "pass",
         "https://fw.example answers (HTTP/1.1 200 OK)"},
        {"https://fw.example", {WebFailure::EKind::None, "", 404, "HTTP/1.1 404 Not Found"}, true, "pass", "pass",
         "answers (HTTP/1.1 404 Not Found)"},
        {"http://fw.example", {WebFailure::EKind::Refused, "Failed to connect", 0, ""}, true, "fail", "warn",
         "does not answer: connection refused"},
        {"https://fw.example", {WebFailure::EKind::None, "", 503, "HTTP/1.1 503 Service Unavailable"}, true,
         "warn", "pass", "answers with an error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        std::string asked;
        CServiceCheck check([&](IWebRequest::StatusFn, IWebRequest::DoneFn fnDone) {
            return std::make_unique<CAnsweringRequest>(c.answer, std::move(fnDone), &asked);
        });
        std::vector<DoctorCheck> delivered;
        EXPECT_EQ(check.Start(c.url, [&](const std::vector<DoctorCheck>& checks) { delivered = checks; }), c.bAsks);
        const std::vector<DoctorCheck>& checks = c.bAsks ? delivered : check.Checks();
        EXPECT_STREQ(Status(checks, "service"), c.service);
        EXPECT_STREQ(Status(checks, "service.https"), c.https);
        ASSERT_FALSE(checks.empty());
        EXPECT_NE(checks[0].text.find(c.text), std::string::npos) << checks[0].text;
        EXPECT_EQ(asked.empty(), !c.bAsks);
    }
}
