// The stand-ins for operating-system services: the system check, named messages with their
// synchronous send, and the program's directory.
#include "platform/OsVersion.h"
#include "platform/ProgramPath.h"
#include "platform/ThreadHandoff.h"
#include "platform/WindowMessage.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(OsCheck, WarnsForTheWindows95FamilyAndNtUpToVersion4Only)
{
    EXPECT_TRUE(IsUnsupportedSystem(PLATFORM_WIN32_WINDOWS, 4));
    EXPECT_TRUE(IsUnsupportedSystem(PLATFORM_WIN32_NT, 3));
    EXPECT_TRUE(IsUnsupportedSystem(PLATFORM_WIN32_NT, 4));
    EXPECT_FALSE(IsUnsupportedSystem(PLATFORM_WIN32_NT, 5));
    EXPECT_FALSE(IsUnsupportedSystem(PLATFORM_WIN32_NT, 10));
    const OsVersionInfo here = GetVersionEx();
    EXPECT_FALSE(IsUnsupportedSystem(here.platformId, here.majorVersion));
}

TEST(ProgramPath, DirectoryOfTheRunningProgram)
{
    const std::string exe = GetModuleFileName();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe.rfind(DirectoryOf(exe) + "/", 0), 0u);
    EXPECT_EQ(DirectoryOf("/opt/kestova/kestova-downloader"), "/opt/kestova");
    EXPECT_EQ(DirectoryOf("no-directory"), "no-directory");
}

class CReceiver : public QObject {
public:
    bool event(QEvent* e) override
    {
        AcceptHandoffEvent(e);
        if (e->type() != RegisterWindowMessage("Test_Message"))
            return QObject::event(e);
        const auto* message = AcceptWindowMessage(e);
        m_lastWParam = message->m_wParam;
        ++m_nHandled;
        return true;
    }
    std::atomic<int> m_nHandled{0};
    WPARAM m_lastWParam = 0;
};

TEST(WindowMessages, OneTypePerNameAndPostedMessagesArrive)
{
    const QEvent::Type type = RegisterWindowMessage("Test_Message");
    EXPECT_EQ(type, RegisterWindowMessage("Test_Message"));
    EXPECT_NE(type, RegisterWindowMessage("Another_Message"));
    CReceiver receiver;
    PostWindowMessage(&receiver, type, 0x10001, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(receiver.m_nHandled, 1);
    EXPECT_EQ(receiver.m_lastWParam, 0x10001u);
}

TEST(WindowMessages, SynchronousSendWaitsForTheWindowOrForCancellation)
{
    CReceiver receiver;
    auto handled = std::make_shared<CSendCompletion>();
    std::atomic<int> result{-1};
    std::thread sender([&] {
        result = SendWindowMessageSync(&receiver, RegisterWindowMessage("Test_Message"), 1, 0, handled);
    });
    while (receiver.m_nHandled == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    sender.join();
    EXPECT_EQ(result, 1);

    // Nobody handles the second send: cancelling releases the sender.
    auto cancelled = std::make_shared<CSendCompletion>();
    std::thread waiting([&] {
        result = SendWindowMessageSync(&receiver, RegisterWindowMessage("Test_Message"), 2, 0, cancelled);
    });
    cancelled->Cancel();
    waiting.join();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(cancelled->IsCancelled());
    QCoreApplication::processEvents(); // the late message is still delivered harmlessly
    EXPECT_EQ(receiver.m_nHandled, 2);
}

TEST(WindowMessages, DroppedMessageReleasesItsSender)
{
    // A message that is thrown away undelivered (its window went first) still counts as
    // handled, so the thread that sent it never waits for ever.
    auto completion = std::make_shared<CSendCompletion>();
    CReceiver receiver;
    QCoreApplication::postEvent(&receiver, new CWindowMessageEvent(
                                               RegisterWindowMessage("Test_Message"), 3, 0, completion));
    QCoreApplication::removePostedEvents(&receiver);
    EXPECT_TRUE(completion->Wait());
    EXPECT_EQ(receiver.m_nHandled, 0);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
