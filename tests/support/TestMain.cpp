// The main of every Qt test program: one QApplication for the whole run, shared by all suites.
#include "platform/ThreadHandoff.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {
// Test windows read an event's type before they know whether a worker thread posted it; as the
// program's window menu filter does, this filter of the whole application accepts every
// hand-over before any receiver reads the event.
class CHandoffAcceptor : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        AcceptHandoffEvent(e);
        return false;
    }
};
} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Without a display (CI, a terminal) the dialogs run on the offscreen platform.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr &&
        std::getenv("WAYLAND_DISPLAY") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    CHandoffAcceptor acceptor;
    app.installEventFilter(&acceptor);
    return RUN_ALL_TESTS();
}
