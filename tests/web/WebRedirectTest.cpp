// Redirects between a local https service (a certificate made for the test and trusted by it)
// and a plain http one: a request that starts on https never leaves it, and at most five
// redirects are followed.
#include "WebFetch.h"
#include "web/MultiTransfer.h"
#include "web/WebSession.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

const std::string IMAGE = ":00000001FF\r\n";

// A self-signed certificate for 127.0.0.1 with its key, also written as PEM for the client.
class CThrowawayCertificate {
public:
    CThrowawayCertificate()
    {
        m_pKey = EVP_EC_gen("P-256");
        m_pCert = X509_new();
        if (!m_pKey || !m_pCert)
            return;
        X509_set_version(m_pCert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(m_pCert), 1);
        X509_gmtime_adj(X509_getm_notBefore(m_pCert), -3600);
        X509_gmtime_adj(X509_getm_notAfter(m_pCert), 24 * 3600);
        X509_NAME* pName = X509_get_subject_name(m_pCert);
        X509_NAME_add_entry_by_txt(pName, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
        X509_set_issuer_name(m_pCert, pName);
        X509_set_pubkey(m_pCert, m_pKey);
        AddExtension(NID_subject_alt_name, "IP:127.0.0.1");
        AddExtension(NID_basic_constraints, "critical,CA:TRUE");
        if (X509_sign(m_pCert, m_pKey, EVP_sha256()) == 0)
            return;
        char szPath[] = "/tmp/kx-cert-XXXXXX";
        const int fd = mkstemp(szPath);
        if (fd < 0)
            return;
        m_strPemPath = szPath;
        FILE* pFile = fdopen(fd, "w");
        m_bReady = pFile && PEM_write_X509(pFile, m_pCert) == 1;
        if (pFile)
            std::fclose(pFile);
    }
    ~CThrowawayCertificate()
    {
        if (!m_strPemPath.empty())
            std::remove(m_strPemPath.c_str());
        X509_free(m_pCert);
        EVP_PKEY_free(m_pKey);
    }
    CThrowawayCertificate(const CThrowawayCertificate&) = delete;
    CThrowawayCertificate& operator=(const CThrowawayCertificate&) = delete;

    bool m_bReady = false;
    X509* m_pCert = nullptr;
    EVP_PKEY* m_pKey = nullptr;
    std::string m_strPemPath;

private:
    void AddExtension(int nid, const char* pszValue)
    {
        X509V3_CTX ctx;
        X509V3_set_ctx(&ctx, m_pCert, m_pCert, nullptr, nullptr, 0);
        X509_EXTENSION* pExtension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, pszValue);
        if (pExtension) {
            X509_add_ext(m_pCert, pExtension, -1);
            X509_EXTENSION_free(pExtension);
        }
    }
};

// A server listening on 127.0.0.1 on its own thread.
class CLocalServer {
public:
    explicit CLocalServer(std::unique_ptr<httplib::Server> pServer) : m_pServer(std::move(pServer)) {}
    ~CLocalServer()
    {
        if (!m_thread.joinable())
            return;
        // A stop that comes before the server listens is ignored: repeat it until it ends.
        while (!m_bDone) {
            m_pServer->stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_thread.join();
    }
    bool Start()
    {
        m_nPort = m_pServer->bind_to_any_port("127.0.0.1");
        if (m_nPort <= 0)
            return false;
        m_thread = std::thread([this] {
            m_pServer->listen_after_bind();
            m_bDone = true;
        });
        return true;
    }

    std::unique_ptr<httplib::Server> m_pServer;
    int m_nPort = 0;
    std::atomic<int> m_nRequests{0};

private:
    std::atomic<bool> m_bDone{false};
    std::thread m_thread;
};

class CTrustingSession : public CWebSession {
public:
    explicit CTrustingSession(std::string strPemPath) : m_strPemPath(std::move(strPemPath)) {}

protected:
    std::string TrustedCertificateFile() const override { return m_strPemPath; }

private:
    std::string m_strPemPath;
};

// Both services answer /image with the image and /to-https/N and /to-http/N with a redirect:
// N > 0 to /to-https/N-1 on the https service, N == 0 to /image on the service named.
void Serve(CLocalServer& server, const CLocalServer& secure, const CLocalServer& plain)
{
    server.m_pServer->Get("/image", [&server](const httplib::Request&, httplib::Response& res) {
        ++server.m_nRequests;
        res.set_content(IMAGE, "text/plain");
    });
    for (const std::string strTarget : {"https", "http"}) {
        server.m_pServer->Get("/to-" + strTarget + R"(/(\d+))",
                              [&server, &secure, &plain, strTarget](const httplib::Request& req,
                                                                     httplib::Response& res) {
            ++server.m_nRequests;
            const int nLeft = std::atoi(req.matches[1].str().c_str());
            if (nLeft > 0)
                res.set_redirect("https://127.0.0.1:" + std::to_string(secure.m_nPort) + "/to-" + strTarget + "/" +
                                 std::to_string(nLeft - 1));
            else
                res.set_redirect(strTarget + "://127.0.0.1:" +
                                 std::to_string((strTarget == "https" ? secure : plain).m_nPort) + "/image");
        });
    }
}

TEST(WebRedirect, AnHttpsRequestStaysOnHttpsAndFollowsAtMostFiveRedirects)
{
    CThrowawayCertificate certificate;
    ASSERT_TRUE(certificate.m_bReady);
    CLocalServer secure(std::make_unique<httplib::SSLServer>(certificate.m_pCert, certificate.m_pKey));
    CLocalServer plain(std::make_unique<httplib::Server>());
    ASSERT_TRUE(secure.m_pServer->is_valid());
    Serve(secure, secure, plain);
    Serve(plain, secure, plain);
    ASSERT_TRUE(secure.Start());
    ASSERT_TRUE(plain.Start());

    struct Case {
        bool bStartSecure;
        std::string strPath;
        bool bSucceeds;
    };
    const Case cases[] = {
        {true, "/image", true},
        {true, "/to-https/0", true},       // https to https
        {true, "/to-https/4", true},       // five redirects
        {true, "/to-https/5", false},      // six
        {true, "/to-http/0", false},       // https to http
        {true, "/to-http/3", false},       // https for a while, then http
        {false, "/to-https/0", true},      // http may move up to https
        {false, "/to-http/0", true},       // and stay on http
    };
    for (const Case& c : cases) {
        const CLocalServer& first = c.bStartSecure ? secure : plain;
        const std::string strUrl = std::string(c.bStartSecure ? "https" : "http") + "://127.0.0.1:" +
                                   std::to_string(first.m_nPort) + c.strPath;
        SCOPED_TRACE(strUrl);
        const int nPlainBefore = plain.m_nRequests;
        bool bDone = false;
        bool bOk = false;
        CMultiTransfer transfer(nullptr, [&](bool bDownloaded) {
            bDone = true;
            bOk = bDownloaded;
        });
        transfer.Downloader().m_pSession = std::make_unique<CTrustingSession>(certificate.m_strPemPath);
        ASSERT_TRUE(transfer.Downloader().m_pSession->IsOpen());
        transfer.Start(strUrl);
        ASSERT_TRUE(RunEventsUntil([&] { return bDone; }));
        const std::string& strBody = transfer.Downloader().Body();
        EXPECT_EQ(bOk, c.bSucceeds) << WebFailureReason(transfer.Downloader().Outcome());
        if (c.bSucceeds) {
            EXPECT_TRUE(strBody.ends_with(IMAGE)) << strBody;
        } else if (c.bStartSecure) {
            EXPECT_EQ(plain.m_nRequests, nPlainBefore); // nothing went out in the clear
        }
    }
}

} // namespace
