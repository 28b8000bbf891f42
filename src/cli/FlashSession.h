// One run of kestova-flash over its units: starts a runner per port in one event loop, asks for
// the confirmation, shows the status lines, handles Ctrl+C, and ends the event loop with the
// worst exit status once every unit is done (after the JSON objects, with --json).
#pragma once

#include "cli/ConfirmPrompt.h"
#include "cli/FlashOptions.h"
#include "cli/StatusView.h"
#include "cli/UnitRunner.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

class CSignalPipe;
class CSupportLog;
class CUpdateHistory;

class CFlashSession : public IUnitListener {
public:
    static constexpr int REDRAW_INTERVAL_MS = 100;
    static constexpr int REPORT_WAIT_MS = 5000; // for the web service to hear of an update
    static constexpr int REPORT_POLL_MS = 50;
    static constexpr int PLAIN_PROGRESS_STEPS = 10;

    CFlashSession(const FlashOptions& options, CStatusView& view, std::FILE* jsonOut, CSupportLog* pLog,
                  CSignalPipe* pSignals);
    ~CFlashSession() override;

    // Every unit's runs are recorded in `pHistory` (which outlives the session).
    void SetUpdateHistory(CUpdateHistory* pHistory);
    // Opens every port; the event loop ends with QCoreApplication::exit(status).
    void Start();

    // --- IUnitListener ---
    void OnUnitMessage(int nIndex, const std::string& text) override;
    void OnUnitChanged(int nIndex) override;
    void OnUnitReady(int nIndex) override;
    void OnUnitDone(int nIndex) override;

private:
    struct Seen {
        bool bProgramming = false;
        bool bAwaitingRestart = false;
        int nProgressStep = -1;
        bool bIdentified = false;
    };

    // The status block is redrawn in place: on a live terminal, unless only errors are wanted.
    bool IsLive() const;
    // A message that is not an error: left out with --quiet.
    void Say(const std::string& text);
    void OnSignals();
    void AskWhenAllReady();
    void OnAnswer(bool bYes);
    void Redraw();
    std::string StatusLine(const CUnitRunner& runner) const;
    void PlainProgress(int nIndex);
    void EndWhenReported();
    void End();
    std::string Prefixed(int nIndex, const std::string& text) const;

    const FlashOptions m_options;
    CStatusView& m_view;
    std::FILE* m_jsonOut;
    CSupportLog* m_pLog;
    CSignalPipe* m_pSignals;
    std::unique_ptr<QSocketNotifier> m_pSignalNotifier;
    std::vector<std::unique_ptr<CUnitRunner>> m_runners;
    std::vector<Seen> m_seen;
    std::vector<int> m_waiting; // ready units that wait for the confirmation
    CConfirmPrompt m_prompt;
    QTimer m_redraw;
    QTimer m_reportPoll;
    QElapsedTimer m_reportClock;
    bool m_bDirty = false;
    bool m_bEnding = false;
    int m_nSignals = 0;
    std::size_t m_nPortWidth = 0;
};
