#include "app/GuiStartGuard.h"

#include "app/CommandLine.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};

// Only the program's first thread starts the application, before any other thread exists.
QtMessageHandler g_previousHandler = nullptr;
std::vector<HeldMessage> g_held;

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fputs(NoDisplayText().c_str(), stderr);
        std::_Exit(1);
    }
    g_held.push_back({type, context.category != nullptr ? context.category : "", text});
}
} // namespace

CGuiStartGuard::CGuiStartGuard()
{
    g_previousHandler = qInstallMessageHandler(&HoldMessage);
}

CGuiStartGuard::~CGuiStartGuard()
{
    qInstallMessageHandler(g_previousHandler);
    std::vector<HeldMessage> held;
    held.swap(g_held);
    for (const HeldMessage& message : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.c_str());
        qt_message_output(message.type, context, message.text);
    }
}
