// One entry of the history of updates: what was sent to which unit, by which face, and how the
// run ended; and its JSON text, one line, with field names that stay the same between versions.
#pragma once

#include <string>
#include <vector>

class CUpdateHistory;

enum class RecordResult {
    Verified,    // the unit came back running the image's version
    Finished,    // every line was taken, but the unit was not seen to run the image's version: it came
                 // back on another version, or did not come back ("finished, not verified")
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

// The result's word in the JSON text: "verified", "not-verified", "failed", "interrupted",
// "refused" (kestova-flash --json's words for the same ends). "finished", which older versions
// wrote for "not-verified", is read as it.
const char* RecordResultName(RecordResult result);
// The result as the tables show it: "failed at line 326" for a failed run, "finished, not
// verified" for a run whose unit was not seen on the image's version; otherwise its name.
std::string RecordResultText(const UpdateRecord& record);

// The one sentence for a run stopped at once (a second stop request, the program's end) in the
// middle of sending: the window, kestova-flash and the history all say it.
std::string StoppedAtOnceText(const std::string& model, int nLinesSent, int nTotalLines);

// One line of JSON without its line end: time, face, model, serial_number, loader_before,
// app_before, loader_after, app_after, image_source, image_version, lines_sent, lines_total,
// result, failed_at_line (null unless failed), text, and port only when the record names one.
// Absent values are null.
std::string RecordJson(const UpdateRecord& record);
// Reads a line written by RecordJson; false for anything else: a damaged line, or a field of
// the wrong type (a number where a text belongs, a count that is no whole number).
bool ParseRecordJson(const std::string& line, UpdateRecord& record);

// What LoadHistory found: the records, newest first by time, and how many lines were no record.
struct HistoryContent {
    std::vector<UpdateRecord> records;
    int nUnreadableLines = 0;
};

// The records of `history` for `serial` (empty: every unit), newest first by their time (the
// one appended later first among equal times); lines that are no record are counted and left
// out. False, with the reason in `error`, when the history cannot be read.
bool LoadHistory(const CUpdateHistory& history, const std::string& serial, HistoryContent& content,
                 std::string& error);

// "8 updates recorded; 2 lines could not be read", or "8 updates recorded" when all could.
std::string HistorySummary(const HistoryContent& content);
