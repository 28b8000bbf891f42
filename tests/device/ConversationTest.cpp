// The conversation without link or clock: each case feeds it what the unit says, the ends of
// its deadlines and the engine's commands, and compares everything it asked for and reported.
#include "device/Conversation.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

const std::string UNIT_IDENTIFICATION =
    ".KX410BL 02080100041004570000 kx410 boot loader ready-------------------";

// Writes down every output as a line; what a write or a reopen gives back is the case's to say.
class CRecordingPeer : public IConversationPeer {
public:
    std::vector<std::string> m_out;
    int m_nFailingSends = 0; // the next writes the link does not take
    int m_nReopenMs = 0;     // what ReopenLink gives back

    bool Send(std::string_view text) override
    {
        const bool bTaken = m_nFailingSends == 0;
        m_nFailingSends -= bTaken ? 0 : 1;
        m_out.push_back("send " + std::string(text) + (bTaken ? "" : " (refused)"));
        return bTaken;
    }
    bool SendDataLine(const std::string& line, std::string_view lineEnd) override
    {
        return Send(line + std::string(lineEnd));
    }
    void SetDeadline(int ms) override { m_out.push_back("deadline " + std::to_string(ms)); }
    void OnStateEntered(EngineState state) override
    {
        m_out.push_back(std::string("state ") + StateName(state));
    }
    void OnWakeRound() override { m_out.emplace_back("wake round"); }
    int ReopenLink() override
    {
        m_out.push_back("reopen -> " + std::to_string(m_nReopenMs));
        return m_nReopenMs;
    }
    void OnIdentifying(const DeviceIdentity& unit, const std::vector<std::string>& facts) override
    {
        m_out.push_back("identifying " + unit.m_strSerialNumber + " (" +
                        std::to_string(facts.size()) + " facts)");
    }
    void OnIdentified(const DeviceIdentity& unit) override
    {
        m_out.push_back("identified " + unit.m_strModel);
    }
    void OnRunStarting(int nTotal) override { m_out.push_back("run of " + std::to_string(nTotal)); }
    void OnLineSent(const std::string& line, int nSent) override
    {
        m_out.push_back("line " + std::to_string(nSent) + " " + line);
    }
    void OnLineAnswered() override { m_out.emplace_back("answered"); }
    void OnRunSucceeded(const std::vector<std::string>& rows) override
    {
        m_out.push_back("succeeded: " + rows.front());
    }
    void OnRunFailed(UpdateResult result, const std::string& text) override
    {
        // The notice's first sentence is enough to tell which it is.
        m_out.push_back("failed " + std::to_string(static_cast<int>(result)) + ": " +
                        text.substr(0, text.find_first_of("\n")).substr(0, text.find("  ")));
    }
    void OnFinishAnswered() override { m_out.emplace_back("finish answered"); }
    void OnUnitSilent(bool bRebooting) override
    {
        m_out.push_back(bRebooting ? "silent, rebooting" : "silent");
    }
    void OnEchoStarting() override { m_out.emplace_back("echo starting"); }
    void OnEchoEnded(bool bPassed) override
    {
        m_out.push_back(bPassed ? "echo passed" : "echo failed");
    }
    void OnEchoNoPort() override { m_out.emplace_back("echo: no port"); }
    void OnResetPauseEnd(bool bEcho) override
    {
        m_out.push_back(bEcho ? "reset over (echo)" : "reset over");
    }
    void OnReopenDue(bool bEcho) override
    {
        m_out.push_back(bEcho ? "reopen due (echo)" : "reopen due");
    }
};

// One step: a deadline's end ("tick"), text from the unit ("say X"), or a command.
struct Input {
    std::string what;
    std::string arg;
};

struct Scenario {
    const char* name;
    std::vector<Input> setup; // brings the conversation where the case starts; not compared
    std::vector<Input> steps;
    std::vector<std::string> expected;
    int nFailingSends = 0;
    int nReopenMs = 0;
};

void PrintTo(const Scenario& c, std::ostream* pOut) { *pOut << c.name; }

void PlayInput(CConversation& conversation, CRecordingPeer& peer, const Input& step)
{
    if (step.what == "tick")
        conversation.OnDeadline();
    else if (step.what == "say")
        conversation.OnText(step.arg);
    else if (step.what == "wake")
        conversation.StartWaking();
    else if (step.what == "run") {
        std::deque<std::string> lines;
        for (char c : step.arg)
            lines.push_back(std::string(":10") + c);
        conversation.StartRun(lines, static_cast<int>(lines.size()));
    } else if (step.what == "interrupt")
        conversation.InterruptRun();
    else if (step.what == "lost")
        conversation.OnLinkLost();
    else if (step.what == "pause")
        conversation.PauseWaking();
    else if (step.what == "resume")
        conversation.ResumeWaking();
    else if (step.what == "echo")
        conversation.StartEchoTest();
    else if (step.what == "reset")
        conversation.BeginResetPause(step.arg == "echo");
    else if (step.what == "fail-next")
        peer.m_nFailingSends = std::stoi(step.arg);
    else if (step.what == "reopen-ms")
        peer.m_nReopenMs = std::stoi(step.arg);
    else
        FAIL() << "no such step: " << step.what;
}

// Woken and identified, the unit's keep-alive sent: where a run can start.
const std::vector<Input> IDENTIFIED = {{"wake", ""}, {"say", UNIT_IDENTIFICATION}};
// Every line of a two-line run acknowledged: the pause before "C".
const std::vector<Input> RUN_DONE = {
    {"wake", ""}, {"say", UNIT_IDENTIFICATION}, {"run", "ab"}, {"say", "."}, {"say", "."}};

class ConversationCase : public ::testing::TestWithParam<Scenario> {};

TEST_P(ConversationCase, AsksForAndReportsExactlyThis)
{
    const Scenario& c = GetParam();
    CRecordingPeer peer;
    CConversation conversation(peer);
    for (const Input& step : c.setup)
        PlayInput(conversation, peer, step);
    peer.m_out.clear();
    peer.m_nFailingSends = c.nFailingSends;
    peer.m_nReopenMs = c.nReopenMs;
    for (const Input& step : c.steps)
        PlayInput(conversation, peer, step);
    EXPECT_EQ(peer.m_out, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Waking, ConversationCase,
    ::testing::Values(
        Scenario{"TwoTextsAGapApartThenTheNextRound",
             {{"wake", ""}},
             {{"tick", ""}, {"tick", ""}},
             {"send 15EBaa", "deadline 50", "state between the wake-up texts", "send 16EAaa",
              "deadline 1000", "state waking", "wake round"}},
        Scenario{"AnAnswerInTheGapWaitsForTheSecondText",
             {{"wake", ""}, {"tick", ""}},
             {{"say", UNIT_IDENTIFICATION}, {"tick", ""}},
             {"send 16EAaa", "deadline 1000", "state waking", "wake round",
              "identifying 1111 (4 facts)", "deadline 500", "state identified", "send A",
              "deadline 500", "send A", "identified kx410"}},
        Scenario{"NoiseLeavesTheDeadlineAStartedIdentificationRestartsIt",
             {{"wake", ""}},
             {{"say", "xyz"}, {"say", ".KX4"}},
             {"deadline 1000"}},
        Scenario{"ARefusedTextOnASerialPortReopensItAndGoesOn",
             {{"wake", ""}},
             {{"tick", ""}},
             {"send 15EBaa (refused)", "reopen -> 0", "deadline 50",
              "state between the wake-up texts"},
             1,
             0},
        Scenario{"ARefusedTextOnTheCableWaitsForIt",
             {{"wake", ""}},
             {{"tick", ""}},
             {"send 15EBaa (refused)", "reopen -> 550", "deadline 550", "state reopening"},
             1,
             550},
        Scenario{"APortThatCannotBeReopenedIsLeftConnecting",
             {{"wake", ""}},
             {{"tick", ""}},
             {"send 15EBaa (refused)", "reopen -> -1", "deadline 0", "state starting"},
             1,
             -1},
        Scenario{"DetectPausesInTheGapAndGoesOnWithAWholeRound",
             {{"wake", ""}, {"tick", ""}},
             {{"pause", ""}, {"tick", ""}, {"resume", ""}},
             {"deadline 0", "state waking paused", "deadline 1000", "state waking"}},
        Scenario{"DetectPausesTheWaitForTheCableAndTriesItOnResume",
             {{"wake", ""}, {"reopen-ms", "550"}, {"fail-next", "1"}, {"tick", ""}},
             {{"pause", ""}, {"resume", ""}},
             {"deadline 0", "state waking paused", "deadline 1", "state reopening"},
             0,
             550},
        Scenario{"AnIdentifiedUnitGetsAKeepAliveForEachMessageAndIsResetWhenQuiet",
             IDENTIFIED,
             {{"say", "x"}, {"tick", ""}},
             {"deadline 500", "send A", "deadline 0", "state idle", "silent"}}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Run, ConversationCase,
    ::testing::Values(
        Scenario{"EachLineWhenTheLastWasTakenThenCAndTheReboot",
             IDENTIFIED,
             {{"run", "ab"},
              {"say", "k"},
              {"say", "."},
              {"say", "."},
              {"tick", ""},
              {"say", "C"},
              {"tick", ""}},
             {"run of 2",
              "deadline 5000",
              "state programming",
              "send :10aaa",
              "line 1 :10a",
              "deadline 5000",
              "deadline 5000",
              "deadline 5000",
              "answered",
              "send :10baa",
              "line 2 :10b",
              "deadline 5000",
              "answered",
              "succeeded: Programming successful. ",
              "deadline 500",
              "state pause before finishing",
              "send C",
              "deadline 500",
              "state finishing",
              "finish answered",
              "deadline 500",
              "send C",
              "deadline 0",
              "state idle",
              "silent, rebooting"}},
        Scenario{"AUnitThatNeverAnswersCIsNotExpectedBack",
             RUN_DONE,
             {{"tick", ""}, {"tick", ""}},
             {"send C", "deadline 500", "state finishing", "deadline 0", "state idle", "silent"}},
        Scenario{"TextInThePauseBeforeCWaitsForIt",
             RUN_DONE,
             {{"say", "C"}, {"tick", ""}},
             {"send C", "deadline 500", "state finishing", "finish answered", "deadline 500",
              "send C"}},
        Scenario{"ACorruptLineEndsTheRun",
             IDENTIFIED,
             {{"run", "ab"}, {"say", "/"}},
             {"run of 2", "deadline 5000", "state programming", "send :10aaa", "line 1 :10a",
              "deadline 5000", "deadline 5000", "answered", "deadline 0", "state idle",
              "failed 3: The kx410 reported a corrupt program was sent."}},
        Scenario{"NoAnswerWithinTheReplyTimeEndsTheRun",
             IDENTIFIED,
             {{"run", "a"}, {"tick", ""}},
             {"run of 1", "deadline 5000", "state programming", "send :10aaa", "line 1 :10a",
              "deadline 5000", "deadline 0", "state idle",
              "failed 4: An error occured whilst updating the kx410."}},
        Scenario{"AStopEndsTheRunAfterTheLineInFlight",
             IDENTIFIED,
             {{"run", "ab"}, {"interrupt", ""}, {"say", "."}},
             {"run of 2", "deadline 5000", "state programming", "send :10aaa", "line 1 :10a",
              "deadline 5000", "deadline 5000", "answered", "deadline 0", "state idle",
              "failed 7: Update stopped after line 1 of 2. The kx410 must be updated again before "
              "it is used."}},
        Scenario{"ALinkLostMidRunEndsItAtOnce",
             IDENTIFIED,
             {{"run", "ab"}, {"lost", ""}},
             {"run of 2", "deadline 5000", "state programming", "send :10aaa", "line 1 :10a",
              "deadline 5000", "deadline 0", "state idle",
              "failed 5: An error occured whilst updating the kx410."}},
        Scenario{"ALineTheLinkRefusesEndsTheRunAtOnce",
             IDENTIFIED,
             {{"run", "ab"}},
             {"run of 2", "deadline 5000", "state programming", "send :10aaa (refused)",
              "deadline 0", "state idle", "failed 5: An error occured whilst updating the kx410."},
             1},
        Scenario{"ALinkLostWhileIdentifiedWaitsForTheSilence", IDENTIFIED, {{"lost", ""}}, {}},
        Scenario{"AnImageWithoutDataLinesIsNoRun",
             IDENTIFIED,
             {{"run", ""}},
             {"run of 0", "deadline 5000", "state programming", "deadline 0", "state idle",
              "failed 6: An unexpected end of file was found, please check programming file"}}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    EchoAndReset, ConversationCase,
    ::testing::Values(Scenario{"EchoComesBackInPieces",
                           {},
                           {{"echo", ""}, {"tick", ""}, {"say", "Ec"}, {"say", "ho"}},
                           {"deadline 1000", "state echo test starting", "echo starting",
                            "reopen -> 0", "send Echo", "deadline 1000", "state echo test waiting",
                            "deadline 0", "state idle", "echo passed"}},
                      Scenario{"NoEchoWithinASecondFails",
                           {{"echo", ""}, {"tick", ""}},
                           {{"say", "Ech"}, {"tick", ""}},
                           {"deadline 0", "state idle", "echo failed"}},
                      Scenario{"NoPortToTestIsSaid",
                           {{"echo", ""}},
                           {{"tick", ""}},
                           {"reopen -> -1", "deadline 0", "state starting", "echo: no port"},
                           0,
                           -1},
                      Scenario{"TheCableIsWaitedForBeforeEcho",
                           {{"echo", ""}},
                           {{"tick", ""}, {"tick", ""}},
                           {"reopen -> 550", "deadline 550", "state reopening for the echo test",
                            "reopen due (echo)"},
                           0,
                           550},
                      Scenario{"WhatComesDuringAResetIsDropped",
                           IDENTIFIED,
                           {{"reset", ""}, {"say", UNIT_IDENTIFICATION}, {"tick", ""}},
                           {"deadline 50", "state resetting", "reset over"}}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return info.param.name; });

} // namespace
