// Status texts: which notification shows which text, and how a text takes the place of the
// status list's last line.
#include "StatusRecorder.h"
#include "web/WebSession.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct Notification {
    std::uint32_t dwStatus;
    const char* pszInfo;
    const char* pszText;  // nullptr: the last line stays as it is
};

class WebStatusTest : public testing::Test {
protected:
    void SetUp() override { m_session.m_fnStatusSink = m_recorder.Sink(); }

    void Notify(std::uint32_t dwStatus, const void* pInfo = nullptr, std::uint32_t dwLength = 0)
    {
        m_session.OnStatusCallback(WEB_SESSION_CONTEXT, dwStatus, pInfo, dwLength);
    }

    CStatusRecorder m_recorder;
    CWebSession m_session;
};

} // namespace

TEST_F(WebStatusTest, EachNotificationShowsItsTextInPlaceOfTheLastLine)
{
    const Notification table[] = {
        {INTERNET_STATUS_RESOLVING_NAME, "fw.example.com", "Resolving name for fw.example.com"},
        {INTERNET_STATUS_NAME_RESOLVED, "192.0.2.7", "Resolved name for 192.0.2.7"},
        {INTERNET_STATUS_CONNECTING_TO_SERVER, nullptr, "Connecting to socket address "},
        {INTERNET_STATUS_CONNECTED_TO_SERVER, nullptr, "Connected to socket address"},
        {INTERNET_STATUS_SENDING_REQUEST, nullptr, "Sending request..."},
        {INTERNET_STATUS_REQUEST_SENT, nullptr, "Request sent"},
        {INTERNET_STATUS_RECEIVING_RESPONSE, nullptr, nullptr},
        {INTERNET_STATUS_RESPONSE_RECEIVED, nullptr, "Response received"},
        {INTERNET_STATUS_CLOSING_CONNECTION, nullptr, "Closing the connection to the server"},
        {INTERNET_STATUS_CONNECTION_CLOSED, nullptr, "Connection to the server closed"},
        {INTERNET_STATUS_HANDLE_CREATED, nullptr, "Handle created"},
        {INTERNET_STATUS_HANDLE_CLOSING, nullptr, nullptr},
        {INTERNET_STATUS_REQUEST_COMPLETE, nullptr, "Request complete"},
        {99, nullptr, "Unknown status: 99"},
    };
    m_recorder.AddLine("logged before");
    m_recorder.AddLine("previous status");
    for (const Notification& n : table) {
        const std::string strBefore = m_recorder.Lines()[1];
        const auto nLength = static_cast<std::uint32_t>(n.pszInfo ? std::strlen(n.pszInfo) + 1 : 0);
        Notify(n.dwStatus, n.pszInfo, nLength);
        ASSERT_EQ(m_recorder.Lines().size(), 2u) << n.dwStatus;
        EXPECT_EQ(m_recorder.Lines()[0], "logged before");
        EXPECT_EQ(m_recorder.Lines()[1], n.pszText ? n.pszText : strBefore) << n.dwStatus;
    }
}

TEST_F(WebStatusTest, RequestCompleteWithResultAndErrorShowsBothInHex)
{
    const std::uint32_t values[2] = {1, 0x2EFD};
    Notify(INTERNET_STATUS_REQUEST_COMPLETE, values, sizeof values);
    EXPECT_EQ(m_recorder.Lines(), std::vector<std::string>{"Request complete, dwResult = 00000001, dwError = 00002EFD"});
}

TEST_F(WebStatusTest, FirstTextIntoAnEmptyListBecomesItsOnlyLine)
{
    ShowWebStatus(&m_session, "Downloading lastest update %d bytes", 1024);
    EXPECT_EQ(m_recorder.Lines(), std::vector<std::string>{"Downloading lastest update 1024 bytes"});
}

TEST_F(WebStatusTest, TextIsCutAt511Characters)
{
    const std::string strLong(600, 'x');
    ShowWebStatus(&m_session, "Error: %s", strLong.c_str());
    ASSERT_EQ(m_recorder.Lines().size(), 1u);
    const std::string strShown = m_recorder.Lines()[0];
    EXPECT_EQ(strShown.size(), 511u);
    EXPECT_EQ(strShown.substr(0, 8), "Error: x");
}

TEST(WebStatus, WithoutASinkNothingIsShown)
{
    CStatusRecorder recorder;
    recorder.AddLine("logged before");
    CWebSession session;
    session.OnStatusCallback(WEB_SESSION_CONTEXT, INTERNET_STATUS_SENDING_REQUEST, nullptr, 0);
    ShowWebStatus(&session, "Downloading lastest update %d bytes", 10);
    ShowWebStatus(nullptr, "no session");
    EXPECT_EQ(recorder.Lines(), std::vector<std::string>{"logged before"});
}
