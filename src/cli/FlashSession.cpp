#include "cli/FlashSession.h"

#include "device/UpdateCheck.h"
#include "platform/SignalPipe.h"
#include "platform/SupportLog.h"

#include <QCoreApplication>

#include <algorithm>
#include <csignal>

namespace {
constexpr int BAR_CELLS = 24;

UnitSettings::EMode ModeOf(FlashOptions::EAction action)
{
    switch (action) {
    case FlashOptions::EAction::Identify: return UnitSettings::EMode::Identify;
    case FlashOptions::EAction::EchoTest: return UnitSettings::EMode::EchoTest;
    default: return UnitSettings::EMode::Update;
    }
}
} // namespace

CFlashSession::CFlashSession(const FlashOptions& options, CStatusView& view, std::FILE* jsonOut,
                             CSupportLog* pLog, CSignalPipe* pSignals)
    : m_options(options), m_view(view), m_jsonOut(jsonOut), m_pLog(pLog), m_pSignals(pSignals)
{
    for (const std::string& port : m_options.ports) {
        UnitSettings settings;
        settings.mode = ModeOf(m_options.action);
        settings.strPort = port;
        settings.strFile = m_options.strFile;
        settings.strService = m_options.strService.empty() ? std::string(KX_WEB_BASE_URL) : m_options.strService;
        settings.nTimeoutS = m_options.nTimeoutS;
        settings.bVerbose = m_options.bVerbose;
        settings.bPrefixPort = m_options.ports.size() > 1;
        m_runners.push_back(std::make_unique<CUnitRunner>(static_cast<int>(m_runners.size()), settings, *this, pLog));
        m_nPortWidth = std::max(m_nPortWidth, port.size());
    }
    m_seen.resize(m_runners.size());
    m_redraw.setInterval(REDRAW_INTERVAL_MS);
    QObject::connect(&m_redraw, &QTimer::timeout, [this] {
        if (m_bDirty)
            Redraw();
    });
    m_reportPoll.setInterval(REPORT_POLL_MS);
    QObject::connect(&m_reportPoll, &QTimer::timeout, [this] { EndWhenReported(); });
}

CFlashSession::~CFlashSession()
{
    m_redraw.stop();
    m_reportPoll.stop();
    m_pSignalNotifier.reset();
    m_runners.clear(); // the engines go before the view and the log they report to
}

void CFlashSession::SetUpdateHistory(CUpdateHistory* pHistory)
{
    for (const auto& runner : m_runners)
        runner->SetUpdateHistory(pHistory);
}

void CFlashSession::Start()
{
    if (m_pSignals && m_pSignals->IsOpen()) {
        m_pSignalNotifier = std::make_unique<QSocketNotifier>(m_pSignals->ReadFd(), QSocketNotifier::Read);
        QObject::connect(m_pSignalNotifier.get(), &QSocketNotifier::activated, m_pSignalNotifier.get(),
                         [this] { OnSignals(); });
    }
    if (IsLive())
        m_redraw.start();
    for (const auto& runner : m_runners)
        if (!m_bEnding)
            runner->Start();
    Redraw();
}

std::string CFlashSession::Prefixed(int nIndex, const std::string& text) const
{
    return m_runners.size() > 1 ? m_options.ports[static_cast<std::size_t>(nIndex)] + ": " + text : text;
}

bool CFlashSession::IsLive() const
{
    return m_view.IsTerminal() && !m_options.bQuiet;
}

void CFlashSession::Say(const std::string& text)
{
    if (!m_options.bQuiet)
        m_view.Message(text);
}

void CFlashSession::OnUnitMessage(int, const std::string& text)
{
    Say(text);
}

void CFlashSession::OnUnitChanged(int nIndex)
{
    m_bDirty = true;
    const CUnitRunner& runner = *m_runners[static_cast<std::size_t>(nIndex)];
    Seen& seen = m_seen[static_cast<std::size_t>(nIndex)];
    const DeviceIdentity& unit = runner.Report().before;
    if (!seen.bIdentified && !unit.m_strSerialNumber.empty()) {
        seen.bIdentified = true;
        Say(Prefixed(nIndex, "Found " + unit.m_strModel + " serial " + unit.m_strSerialNumber +
                                            ": boot loader " + VersionText(unit.m_strLoaderVersion) +
                                            ", application " + VersionText(unit.m_strAppVersion) + "."));
    }
    if (!m_view.IsTerminal() && !m_options.bQuiet)
        PlainProgress(nIndex);
    seen.bProgramming = runner.IsProgramming();
    seen.bAwaitingRestart = runner.IsAwaitingRestart();
}

void CFlashSession::PlainProgress(int nIndex)
{
    const CUnitRunner& runner = *m_runners[static_cast<std::size_t>(nIndex)];
    Seen& seen = m_seen[static_cast<std::size_t>(nIndex)];
    const std::string model = runner.Report().before.m_strModel;
    if (runner.IsProgramming()) {
        const int max = std::max(runner.ProgressMax(), 1);
        const int step = runner.Progress() * PLAIN_PROGRESS_STEPS / max;
        if (!seen.bProgramming)
            m_view.Message(Prefixed(nIndex, "Programming " + std::to_string(runner.ProgressMax()) + " lines."));
        else if (step > seen.nProgressStep)
            m_view.Message(Prefixed(nIndex, "Sent " + std::to_string(runner.Progress()) + " of " +
                                                std::to_string(runner.ProgressMax()) + " lines."));
        seen.nProgressStep = std::max(seen.nProgressStep, step);
    } else if (runner.IsAwaitingRestart() && !seen.bAwaitingRestart) {
        // The window's user is told to power the unit off; here it is awaited as it is.
        m_view.Message(Prefixed(
            nIndex, "Every line was taken; waiting up to " +
                        std::to_string(runner.Settings().nTimeoutS) + " s for the " + model +
                        " to restart and name its version. Leave it connected and powered."));
    }
}

std::string CFlashSession::StatusLine(const CUnitRunner& runner) const
{
    const UnitReport& report = runner.Report();
    std::string line = report.strPort + std::string(m_nPortWidth - report.strPort.size(), ' ') + "  ";
    line += report.before.m_strSerialNumber.empty() ? std::string("-") : "#" + report.before.m_strSerialNumber;
    line += "  ";
    if (runner.IsDone())
        return line + ResultName(report.result) + ": " + report.strText;
    if (runner.IsProgramming())
        return line + ProgressBar(runner.Progress(), runner.ProgressMax(), BAR_CELLS) + " " +
               std::to_string(runner.Progress()) + "/" + std::to_string(runner.ProgressMax());
    if (runner.IsAwaitingRestart())
        return line + "every line taken; waiting for the unit to restart";
    if (runner.IsReady())
        return line + "ready: " + VersionText(report.before.m_strAppVersion) + " -> " +
               (report.strImageVersion.empty() ? std::string("?") : VersionText(report.strImageVersion));
    if (runner.IsFetching())
        return line + "fetching the image";
    return line + "waiting for the unit";
}

void CFlashSession::Redraw()
{
    m_bDirty = false;
    if (!IsLive())
        return;
    std::vector<std::string> lines;
    for (const auto& runner : m_runners)
        lines.push_back(StatusLine(*runner));
    m_view.Draw(lines);
}

void CFlashSession::OnUnitReady(int nIndex)
{
    if (m_options.bYes) {
        m_runners[static_cast<std::size_t>(nIndex)]->Go();
        return;
    }
    if (std::find(m_waiting.begin(), m_waiting.end(), nIndex) == m_waiting.end())
        m_waiting.push_back(nIndex);
    AskWhenAllReady();
}

void CFlashSession::AskWhenAllReady()
{
    if (m_prompt.IsAsking() || m_waiting.empty() || m_bEnding)
        return;
    // One question for all units, once each has its image or has ended.
    for (const auto& runner : m_runners)
        if (!runner->IsDone() && !runner->IsReady())
            return;
    std::string question;
    if (m_waiting.size() == 1) {
        question = Prefixed(m_waiting.front(), m_runners[static_cast<std::size_t>(m_waiting.front())]->Question());
    } else {
        for (const int index : m_waiting)
            m_view.Message(Prefixed(index, m_runners[static_cast<std::size_t>(index)]->Question()));
        question = "Update these " + std::to_string(m_waiting.size()) + " units?";
    }
    Redraw();
    m_view.Ask(question + " [y/N] ");
    m_prompt.Ask([this](bool bYes) { OnAnswer(bYes); });
}

void CFlashSession::OnAnswer(bool bYes)
{
    m_view.Resume();
    const std::vector<int> waiting = std::move(m_waiting);
    m_waiting.clear();
    for (const int index : waiting) {
        CUnitRunner& runner = *m_runners[static_cast<std::size_t>(index)];
        if (bYes)
            runner.Go();
        else
            runner.Decline("Update declined; nothing was sent.");
    }
}

void CFlashSession::OnSignals()
{
    int sig = 0;
    const int count = m_pSignals ? m_pSignals->TakeSignals(&sig) : 0;
    if (count == 0)
        return;
    if (m_pLog != nullptr)
        m_pLog->Note(std::string("Stop requested by ") + SignalName(sig) +
                     (m_nSignals + count > 1 ? ": stopping at once." : "."));
    m_nSignals += count;
    if (m_prompt.IsAsking())
        m_view.Resume();
    if (m_nSignals > 1) {
        for (const auto& runner : m_runners)
            runner->Abandon();
        return;
    }
    bool bAwaiting = false;
    for (const auto& runner : m_runners)
        bAwaiting = runner->Interrupt() || bAwaiting;
    if (bAwaiting)
        Say(sig == SIGINT ? "Stopping after the line in flight (Ctrl+C again to stop at once)..."
                          : "Stopping after the line in flight...");
}

void CFlashSession::OnUnitDone(int nIndex)
{
    m_bDirty = true;
    // Quiet: a unit that did not end well is the one thing said.
    const UnitReport& report = m_runners[static_cast<std::size_t>(nIndex)]->Report();
    if (m_options.bQuiet && ExitCodeFor(report.result) != EXIT_VERIFIED)
        m_view.Message(Prefixed(nIndex, report.strText));
    for (const auto& runner : m_runners)
        if (!runner->IsDone())
            return;
    if (m_bEnding)
        return;
    // The end comes from the event loop, which may not have started yet.
    m_bEnding = true;
    m_reportClock.start();
    m_reportPoll.start();
}

void CFlashSession::EndWhenReported()
{
    const bool bPending = std::any_of(m_runners.begin(), m_runners.end(),
                                      [](const auto& runner) { return runner->IsReportPending(); });
    if (bPending && m_reportClock.elapsed() < REPORT_WAIT_MS)
        return;
    m_reportPoll.stop();
    End();
}

void CFlashSession::End()
{
    m_redraw.stop();
    Redraw();
    m_view.Release();
    int worst = EXIT_VERIFIED;
    for (const auto& runner : m_runners) {
        worst = WorseExitCode(worst, ExitCodeFor(runner->Report().result));
        if (m_options.bJson && m_jsonOut) {
            std::fputs(ReportJson(runner->Report()).c_str(), m_jsonOut);
            std::fputc('\n', m_jsonOut);
        }
    }
    if (m_jsonOut)
        std::fflush(m_jsonOut);
    QCoreApplication::exit(worst);
}
