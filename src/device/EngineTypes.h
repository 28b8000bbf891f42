// The vocabulary the update engine shares with the faces that drive it: the conversation's
// time-outs and how an update ended.
#pragma once

#include <string>

constexpr int WAKE_INTERVAL_MS = 1000;
constexpr int PROGRAM_REPLY_TIMEOUT_MS = 5000;
constexpr int ECHO_REPLY_TIMEOUT_MS = 1000;
constexpr int ECHO_START_DELAY_MS = 1000;
constexpr int SILENCE_TIMEOUT_MS = 500;
constexpr int WAKE_TEXT_GAP_MS = 50; // between the two wake-up texts
constexpr int FINISH_PAUSE_MS = 500; // after the last acknowledgement, before "C"
constexpr int RESET_PAUSE_MS = 50;   // between closing the link on a reset and opening it again
// How long after its reboot an updated unit that still reports its old version is worth a
// notice; later, the verdict is only a status line.
constexpr int REBOOT_WINDOW_MS = 30000;

// How an update ended, as far as the engine can tell.
enum class UpdateResult {
    Verified,    // the unit came back running the image's version
    NotVerified, // the unit came back with another version (or as another unit)
    NoVersion,   // finished, but the image names no version to compare
    Corrupt,     // the unit reported a corrupt line
    Silent,      // no acknowledgement within the reply time-out
    LinkLost,    // the link to the unit failed during the run (the cable was pulled)
    Empty,       // Send with no data line
    Interrupted, // stopped on request after the line in flight
};

struct UpdateOutcome {
    UpdateResult result = UpdateResult::Silent;
    std::string strText; // the sentence the user was shown
    int nLinesSent = 0;
    int nTotalLines = 0;
    std::string strImageVersion; // the image's "VER:" value, empty when it has none
    bool bNoticeShown = false;   // strText was shown as a notice (else only as a status line)
};
