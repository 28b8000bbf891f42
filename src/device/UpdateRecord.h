// One entry of the history of updates: what was sent to which unit, by which face, and how the
// run ended; and its JSON text, one line, with field names that stay the same between versions.
#pragma once

#include <string>
#include <vector>

class CUpdateHistory;

enum class RecordResult {
    Verified,    // the unit came back running the image's version
    Finished,    // every line was taken, but the unit was not seen to run the image's version
    Failed,      // the unit fell silent or reported a corrupt line at line nLinesSent
    Interrupted, // stopped on request (or the program ended) before the last line
    Refused,     // nothing was sent: the image had no data line
};

struct UpdateRecord {
    std::string strTime; // when the run started, ISO 8601 in UTC: "2024-05-01T09:30:12Z"
    std::string strFace; // "window" or "kestova-flash"
    std::string strModel;
    std::string strSerial;
    // Versions as "1.07"; the "after" ones empty when the unit was not identified again.
    std::string strLoaderBefore, strAppBefore, strLoaderAfter, strAppAfter;
    std::string strImageSource; // the file's path, or the firmware service's address
    std::string strImageVersion; // "1.07"; empty when the image names none
    int nLinesSent = 0;          // lines that went to the unit (a failed run: the line it failed at)
    int nTotalLines = 0;
    RecordResult result = RecordResult::Interrupted;
    std::string strText; // the sentence the user was shown
    std::string strPort; // the port it ran on, where a face with several ports names it

    bool operator==(const UpdateRecord&) const = default;
};

// "verified", "finished", "failed", "interrupted", "refused".
const char* RecordResultName(RecordResult result);
// "failed at line 326" for a failed run; otherwise the result's name.
std::string RecordResultText(const UpdateRecord& record);

// One line of JSON without its line end: time, face, model, serial_number, loader_before,
// app_before, loader_after, app_after, image_source, image_version, lines_sent, lines_total,
// result, failed_at_line (null unless failed), text, and port only when the record names one.
// Absent values are null.
std::string RecordJson(const UpdateRecord& record);
// Reads a line written by RecordJson; false for anything else (a damaged line is skipped).
bool ParseRecordJson(const std::string& line, UpdateRecord& record);

// The records of `history` for `serial` (empty: every unit), newest first; damaged lines are
// left out. False, with the reason in `error`, when the history cannot be read.
bool LoadHistory(const CUpdateHistory& history, const std::string& serial, std::vector<UpdateRecord>& records,
                 std::string& error);
