// What the bench shows once above its table about the chosen programming file: its version,
// its data lines and its release notes, read and checked as the engine will check it for a kx410.
#pragma once

#include <string>

struct BenchImageFacts {
    bool bUsable = false;
    std::string strVersion; // "0107"; empty when the image names none
    int nLines = 0;
    std::string strNotes;   // the "INFO:" lines' text, one line each
    std::string strProblem; // why it cannot be used, when it cannot
};

BenchImageFacts ReadBenchImage(const std::string& path);

// "fleet.fwr: version 1.07, 1500 lines" or the problem; "No image chosen" for none.
std::string BenchImageText(const std::string& path, const BenchImageFacts& facts);
