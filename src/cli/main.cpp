// kestova-flash: the update engine without a window. The command line is read first; then a
// Qt Core event loop runs every named unit's engine until all are done.
#include "cli/FlashOptions.h"
#include "cli/FlashSession.h"
#include "cli/PortList.h"
#include "cli/StatusView.h"
#include "cli/UnitReport.h"
#include "platform/SignalPipe.h"
#include "platform/SupportLog.h"
#include "platform/TerminalIo.h"

#include <QCoreApplication>

#include <cstdio>

namespace {
constexpr int DEFAULT_COLUMNS = 80;
}

int main(int argc, char* argv[])
{
    const FlashOptions options = ParseFlashOptions({argv + 1, argv + argc});
    switch (options.action) {
    case FlashOptions::EAction::Help:
        std::fputs(FlashUsage().c_str(), stdout);
        return EXIT_VERIFIED;
    case FlashOptions::EAction::Version:
        std::fputs(FlashVersionText().c_str(), stdout);
        return EXIT_VERIFIED;
    case FlashOptions::EAction::Error:
        std::fprintf(stderr, "kestova-flash: %s\n%s", options.strError.c_str(), FlashUsage().c_str());
        return EXIT_BAD_ARGUMENTS;
    default: break;
    }
    if (options.action == FlashOptions::EAction::Update && !options.bYes && !IsTerminal(STDIN_FD)) {
        std::fputs("kestova-flash: the update must be confirmed, and standard input is not a terminal; "
                   "add --yes to update without asking\n",
                   stderr);
        return EXIT_BAD_ARGUMENTS;
    }

    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestova-flash"));
    if (options.action == FlashOptions::EAction::List)
        return ListPorts(stdout);

    CSupportLog supportLog(options.strLogPath.empty() ? CSupportLog::DefaultPath() : options.strLogPath);
    if (!options.strLogPath.empty() && !supportLog.IsWritingFile())
        std::fprintf(stderr, "kestova-flash: the support log %s cannot be written: %s\n",
                     options.strLogPath.c_str(), supportLog.LastError().c_str());
    CSignalPipe stopSignals;
    CStatusView view(stderr, IsTerminal(STDERR_FD), TerminalColumns(STDERR_FD, DEFAULT_COLUMNS));
    CFlashSession session(options, view, stdout, &supportLog, &stopSignals);
    session.Start();
    return QCoreApplication::exec();
}
