// The window stopped in the middle of an update: by a signal, a confirmed close or a window
// destroyed under it. Each finishes the line in flight, does not tell the unit to finish, says
// how far the update got in the status list and the support log, and ends non-zero.
#include "E2eFixture.h"

#include "platform/SignalPipe.h"
#include "platform/SupportLog.h"

#include <QWindow>

#include <csignal>
#include <fstream>

namespace {
constexpr int DATA_LINES = 40;

enum class EStop { Sigterm, Sighup, CloseConfirmed, WindowDestroyed };

struct StopCase {
    const char* name;
    EStop how;
    int nExitStatus;
};

class StopMidUpdate : public E2eFixture, public ::testing::WithParamInterface<StopCase> {};

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
} // namespace

TEST_P(StopMidUpdate, EndsAfterTheLineInFlightSaysHowFarAndExitsNonZero)
{
    StartUpdate({"--baud-pace"}, DATA_LINES);
    CSignalPipe stopSignals;
    m_dlg->SetStopSignals(&stopSignals);
    CSupportLog log(m_dir + "/support.log");
    m_dlg->SetSupportLog(&log);
    m_dlg->m_btnSend->click();
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->m_progress->value() >= 3; }, 20000));

    CModalAnswerer answerer;
    switch (GetParam().how) {
    case EStop::Sigterm: kill(getpid(), SIGTERM); break;
    case EStop::Sighup: kill(getpid(), SIGHUP); break;
    case EStop::CloseConfirmed:
        answerer.Press("Yes");
        m_dlg->close();
        ASSERT_EQ(answerer.AnsweredCount(), 1);
        EXPECT_NE(answerer.Seen()[0].strText.indexOf("An update of the kx410 is running. It will stop after "
                                                     "the line in flight"),
                  -1)
            << answerer.Seen()[0].strText.toStdString();
        break;
    case EStop::WindowDestroyed: m_dlg->windowHandle()->destroy(); break;
    }
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->IsEnded(); }, 20000));
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(m_dlg->ExitStatus(), GetParam().nExitStatus);
    // "Update stopped after line N of 40. The kx410 must be updated again before it is used."
    const std::string prefix = "Update stopped after line ";
    const std::string suffix = " of " + std::to_string(DATA_LINES) + ". The kx410 must be updated again before it is used.";
    std::string stopped;
    for (const std::string& line : ListLines())
        if (line.rfind(prefix, 0) == 0)
            stopped = line;
    ASSERT_NE(stopped.find(suffix), std::string::npos) << testing::PrintToString(ListLines());
    const int sent = std::stoi(stopped.substr(prefix.size()));
    EXPECT_GE(sent, 3);
    EXPECT_NE(ReadAll(m_dir + "/support.log").find(stopped), std::string::npos) << ReadAll(m_dir + "/support.log");

    // Every line sent was whole and acknowledged; no "C" went after the last.
    const std::string received = m_unit.StopAndReadLog();
    EXPECT_EQ(CountOccurrences(received, ":"), sent);
    EXPECT_LT(sent, DATA_LINES);
    const std::size_t lastLineEnd = received.find("aa", received.rfind(':'));
    ASSERT_NE(lastLineEnd, std::string::npos);
    EXPECT_EQ(received.find('C', lastLineEnd), std::string::npos) << received.substr(lastLineEnd);
    m_dlg->SetSupportLog(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Window, StopMidUpdate,
                         ::testing::Values(StopCase{"Sigterm", EStop::Sigterm, 143}, StopCase{"Sighup", EStop::Sighup, 129},
                                           StopCase{"CloseConfirmed", EStop::CloseConfirmed, 130},
                                           StopCase{"WindowDestroyed", EStop::WindowDestroyed, 143}),
                         [](const auto& info) { return std::string(info.param.name); });
