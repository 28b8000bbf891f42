// kestova-flash: the update engine without a window. The command line is read first, and the
// image file checked, before any port is opened; then a Qt Core event loop runs every named
// unit's engine until all are done.
#include "cli/DoctorCommand.h"
#include "cli/FlashOptions.h"
#include "cli/FlashSession.h"
#include "cli/HistoryList.h"
#include "cli/ImageFileCheck.h"
#include "cli/PortList.h"
#include "cli/StatusView.h"
#include "cli/UnitReport.h"
#include "device/SessionFacts.h"
#include "platform/SignalPipe.h"
#include "platform/SupportLog.h"
#include "platform/TerminalIo.h"
#include "platform/UpdateHistory.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {
constexpr int DEFAULT_COLUMNS = 80;

// An image file that cannot be sent ends the run before any port is opened; with --json each
// named unit still gets its object.
int RefuseImageFile(const FlashOptions& options, const std::string& error)
{
    std::fprintf(stderr, "kestova-flash: %s\n", error.c_str());
    for (const std::string& port : options.ports) {
        UnitReport report;
        report.strPort = port;
        report.result = FlashResult::Rejected;
        report.strText = error;
        if (options.bJson)
            std::printf("%s\n", ReportJson(report).c_str());
    }
    return EXIT_IMAGE_REJECTED;
}
} // namespace

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
        std::fprintf(stderr, "kestova-flash: %s\n%s", options.strError.c_str(),
                     FlashUsage().c_str());
        return EXIT_BAD_ARGUMENTS;
    case FlashOptions::EAction::History:
        return PrintHistory(stdout, stderr, CUpdateHistory(CUpdateHistory::DefaultPath()), options.strSerial,
                            options.bJson);
    default: break;
    }
    if (options.action == FlashOptions::EAction::Update && !options.strFile.empty()) {
        const std::string error = CheckImageFile(options.strFile);
        if (!error.empty())
            return RefuseImageFile(options, error);
    }
    if (options.action == FlashOptions::EAction::Update && !options.bYes && !IsTerminal(STDIN_FD)) {
        std::fputs(
            "kestova-flash: the update must be confirmed, and standard input is not a terminal; "
            "add --yes to update without asking\n",
            stderr);
        return EXIT_BAD_ARGUMENTS;
    }

    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestova-flash"));
    if (options.action == FlashOptions::EAction::List)
        return ListPorts(stdout, options.bJson);
    if (options.action == FlashOptions::EAction::Doctor)
        return RunDoctorCommand(options, stdout);

    const bool bLive =
        IsLiveTerminal(IsTerminal(STDERR_FD), std::getenv("NO_COLOR"), std::getenv("TERM"));
    CStatusView view(stderr, bLive, TerminalColumns(STDERR_FD, DEFAULT_COLUMNS));
    CSupportLog supportLog(options.strLogPath.empty() ? CSupportLog::DefaultPath()
                                                      : options.strLogPath);
    // Said once, whenever it is found: at the start, or when the disk fills mid-run.
    supportLog.SetFailureHandler([&view](const std::string& why) {
        view.Message("kestova-flash: the support log cannot be written: " + why);
    });
    WriteSessionHeader(supportLog, GatherSessionFacts(FlashVersionText()));
    // Each run is recorded; a history that cannot be written is said once, and the update goes on.
    CUpdateHistory history(CUpdateHistory::DefaultPath());
    history.SetUnwritableHandler([&view, &supportLog](const std::string& text) {
        supportLog.Note(text);
        view.Message("kestova-flash: " + text);
    });
    CSignalPipe stopSignals;
    CFlashSession session(options, view, stdout, &supportLog, &stopSignals);
    session.SetUpdateHistory(&history);
    session.Start();
    const int status = QCoreApplication::exec();
    supportLog.Flush();
    supportLog.SetFailureHandler({});
    return status;
}
