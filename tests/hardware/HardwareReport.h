// The real-cable suite's one report per run: a header (date, version, system, cable, port,
// latency set-up), then each test's section with its verdict and notes, then a tally. Under
// ctest each test is its own process: a set-up test starts the file and a clean-up test adds
// the tally (CTest fixtures, so that they come first and last in any order); each test adds
// its section. Run directly, the program does all three itself.
#pragma once

#include <gtest/gtest.h>

#include <string>

class CHardwareReport : public ::testing::EmptyTestEventListener {
public:
    // KX_HARDWARE_REPORT, else kx-hardware-report.txt in the working folder.
    static std::string Path();
    // Starts the file anew with the header.
    static void Begin(const std::string& port);
    // Adds the tally of the sections written so far, and says where the report is.
    static void End();
    // A note in the running test's section (and on standard output).
    static void Note(const std::string& line);

    void OnTestStart(const ::testing::TestInfo& test) override;
    void OnTestEnd(const ::testing::TestInfo& test) override;

private:
    static std::string& Section();
};

// "19.9 s", "4.2 ms": one decimal and the unit.
std::string Seconds(double value);
std::string Milliseconds(double value);
