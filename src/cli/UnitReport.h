// What kestova-flash says about one unit when it is done with it: the outcome in a word, the
// sentence the user was shown, the exit status it stands for, and its JSON object.
#pragma once

#include "device/DeviceIdentity.h"
#include "device/DeviceNotices.h"
#include "device/TextValues.h"
#include "platform/JsonText.h"

#include <string>

enum class FlashResult {
    Verified,     // updated, and the unit runs the image's version
    Identified,   // --identify: the unit answered
    EchoPassed,   // --echo-test passed
    BadArguments, // the update was declined, or cannot be confirmed
    NoUnit,       // the port cannot be opened, or no unit answered in time
    EchoFailed,   // --echo-test failed: no cable, or not looped back
    Rejected,     // the image does not suit the unit, or none could be had
    Failed,       // the unit fell silent or reported a corrupt line
    NotVerified,  // finished, but the unit came back on another version (or naming none)
    NotSeenBack,  // finished, not verified: every line was taken, but the unit did not come back
    Interrupted,  // stopped on request
};

constexpr int EXIT_VERIFIED = 0;
constexpr int EXIT_BAD_ARGUMENTS = 1;
constexpr int EXIT_NO_UNIT = 2;
constexpr int EXIT_IMAGE_REJECTED = 3;
constexpr int EXIT_UPDATE_FAILED = 4;
constexpr int EXIT_NOT_VERIFIED = 5;
constexpr int EXIT_DOCTOR_FAILED = 6; // --doctor: at least one check failed
constexpr int EXIT_NOT_SEEN_BACK = 7;
constexpr int EXIT_INTERRUPTED = 130;

int ExitCodeFor(FlashResult result);
// The worse of two exit statuses of units: a unit that took every line and was not seen again
// is the mildest of the failures, whatever its number.
int WorseExitCode(int a, int b);
// "verified", "not-verified", ...: the result's name in the JSON object.
const char* ResultName(FlashResult result);

struct UnitReport {
    std::string strPort;
    DeviceIdentity before;       // as identified first; empty when the unit never answered
    DeviceIdentity after;        // as identified after the update; empty when it did not come back
    std::string strImageVersion; // four digits, empty when the image names none
    int nLinesSent = 0;
    int nTotalLines = 0;
    double dSeconds = 0.0;
    FlashResult result = FlashResult::NoUnit;
    std::string strText;
};

// One line of JSON, without the line end. Versions read "1.07"; absent values are null.
std::string ReportJson(const UnitReport& report);

// A status line without the sentence that tells the window's user which button to press
// ("Ready to update your kx410. Press send." gives "Ready to update your kx410."); empty when
// that is all the line says, or when it tells the window's user to unplug the cable.
std::string StatusText(const std::string& status);
