// The conversation with the unit's bootloader, as a state machine without any link or clock:
// what the unit says, the end of a deadline and the engine's commands go in; bytes to send,
// deadlines to keep and what happened come out through its peer. Waking the unit, identifying
// it, keeping it talking, sending an image line by line, finishing the run and the cable's echo
// test are decided here; what they lead to (rows, notices, records, resets) is the engine's.
#pragma once

#include "device/DeviceIdentity.h"
#include "device/EngineState.h"
#include "device/EngineTypes.h"

#include <deque>
#include <string>
#include <string_view>
#include <vector>

// What the conversation asks of the engine that runs it, and tells it.
class IConversationPeer {
public:
    virtual ~IConversationPeer() = default;

    // --- what goes out ---
    // Bytes for the unit; false when the link did not take them.
    virtual bool Send(std::string_view text) = 0;
    // A data line for the unit, followed by the line end; false when the link did not take it.
    virtual bool SendDataLine(const std::string& line, std::string_view lineEnd) = 0;
    // The deadline of the state just entered, in ms from now; 0: none.
    virtual void SetDeadline(int ms) = 0;
    virtual void OnStateEntered(EngineState state) = 0;

    // --- what happened ---
    // A wake-up round went out (both texts).
    virtual void OnWakeRound() = 0;
    // The link is to be closed and opened again (a wake-up text it did not take, the start of
    // the echo test). Returns 0 when it was opened at once, the ms until it can be, or -1 when
    // it cannot be (the user was told why).
    virtual int ReopenLink() = 0;
    // A whole identification arrived; the unit gets its keep-alive next.
    virtual void OnIdentifying(const DeviceIdentity& unit,
                               const std::vector<std::string>& facts) = 0;
    virtual void OnIdentified(const DeviceIdentity& unit) = 0;
    // A run starts: its lines are counted from nothing.
    virtual void OnRunStarting(int nTotal) = 0;
    virtual void OnLineSent(const std::string& line, int nSent) = 0;
    virtual void OnLineAnswered() = 0;
    // Every line was acknowledged; `rows` say so.
    virtual void OnRunSucceeded(const std::vector<std::string>& rows) = 0;
    // The run ended before the unit took every line.
    virtual void OnRunFailed(UpdateResult result, const std::string& text) = 0;
    // The unit answered "C": it took the whole run.
    virtual void OnFinishAnswered() = 0;
    // The unit went quiet; bRebooting: after answering "C", into its new version.
    virtual void OnUnitSilent(bool bRebooting) = 0;
    virtual void OnEchoStarting() = 0;
    virtual void OnEchoEnded(bool bPassed) = 0;
    // The echo test found no port to test.
    virtual void OnEchoNoPort() = 0;
    // The pause of a reset is over: the link is to be opened again.
    virtual void OnResetPauseEnd(bool bEcho) = 0;
    // The cable may be opened now.
    virtual void OnReopenDue(bool bEcho) = 0;
};

class CConversation {
public:
    static constexpr std::string_view KEEP_ALIVE_TEXT = "A";
    static constexpr std::string_view WAKE_TEXT_FIRST = "15EBaa";
    static constexpr std::string_view WAKE_TEXT_SECOND = "16EAaa";
    static constexpr std::string_view LINE_END_TEXT = "aa";
    static constexpr std::string_view FINISH_TEXT = "C";
    static constexpr std::string_view ECHO_TEXT = "Echo";

    explicit CConversation(IConversationPeer& peer) : m_peer(peer) {}

    EngineState State() const { return m_state; }
    // The unit identified last.
    const DeviceIdentity& Unit() const { return m_unit; }
    int LinesSent() const { return m_nLinesSent; }
    int RunLines() const { return m_nRunLines; }
    int LinesLeft() const { return static_cast<int>(m_lines.size()); }
    bool IsEchoTestRunning() const;

    // --- what comes in ---
    void OnText(const std::string& text);
    void OnDeadline();

    // --- the engine's commands ---
    // The link is open: waking starts.
    void StartWaking() { Enter(EngineState::Waking); }
    // No conversation (bConnecting: shown as connecting until a port is chosen).
    void Stop(bool bConnecting = false);
    // The same without a word to the peer: the program is ending.
    void Halt();
    // Detect's prompt holds the wake-up wherever it stands; Resume lets it go on.
    void PauseWaking();
    void ResumeWaking();
    // The link was closed by a reset: after a short pause it is opened again.
    void BeginResetPause(bool bEcho);
    // The cable is opened again once it allows, in `ms`.
    void WaitForCable(bool bEcho, int ms);
    // Sends `lines` one by one, each when the last was acknowledged.
    void StartRun(std::deque<std::string> lines, int nTotal);
    // Ends the run after the line in flight, as a failure the user must redo.
    void InterruptRun();
    // The link failed: a run ends at once; anything else meets it at its own deadline.
    void OnLinkLost();
    void StartEchoTest();
    // "Echo" goes out now (the cable is open again, or the test goes on without it).
    void SendEcho();

private:
    void Enter(EngineState state, int ms = -1);
    void RestartDeadline();
    void Dispatch(const std::string& text);
    void ReleaseHeldText();
    void SendWake(std::string_view text, EngineState next);
    void OnConnectingText();
    void IdentifyUnit();
    void SendKeepAlive();
    bool SendNextLine();
    void OnProgramText();
    void OnAcknowledgement();
    void FinishRun();
    void EndRun(UpdateResult result, const std::string& text);
    void OnSilence();
    void OnEchoStartDeadline();
    void OnEchoText(const std::string& text);
    void EndEchoTest(bool bPassed);
    void KeepRecentReceived();

    IConversationPeer& m_peer;
    EngineState m_state = EngineState::Starting;
    EngineState m_resumeState = EngineState::Waking; // where a paused wake-up goes on
    std::string m_strReceived;
    // What the unit said during a pause of the conversation, handled when it ends.
    std::deque<std::string> m_heldText;
    DeviceIdentity m_unit;
    std::deque<std::string> m_lines; // the run's lines still to send
    int m_nLinesSent = 0;
    int m_nRunLines = 0;
    bool m_bInterruptRequested = false;
    bool m_bFinishAnswered = false; // the unit answered after "C": it took the whole run
};
