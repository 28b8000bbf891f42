#include "cli/HistoryList.h"

#include "device/UpdateRecord.h"
#include "platform/UpdateHistory.h"

#include <algorithm>

namespace {
const char* const COLUMN_GAP = "  ";

const char* const ARROW = " \u2192 ";

// "1.00 → 1.07", or "1.00 → 1.00" for a unit that came back on its old version; "1.00 → ?"
// when the unit was not identified again after a run that sent every line; only "1.00" when
// the run ended before that.
std::string BeforeAfter(const std::string& before, const std::string& after, bool bFinished)
{
    if (after.empty())
        return bFinished && !before.empty() ? before + ARROW + "?" : before;
    return before.empty() ? after : before + ARROW + after;
}

std::vector<std::string> Row(const UpdateRecord& r)
{
    const bool bFinished = r.result == RecordResult::Verified || r.result == RecordResult::Finished;
    return {r.strTime,
            r.strModel + " " + r.strSerial,
            BeforeAfter(r.strLoaderBefore, r.strLoaderAfter, false),
            BeforeAfter(r.strAppBefore, r.strAppAfter, bFinished),
            r.strImageVersion.empty() ? std::string("-") : r.strImageVersion,
            std::to_string(r.nLinesSent) + "/" + std::to_string(r.nTotalLines),
            RecordResultText(r),
            r.strFace,
            r.strImageSource};
}
// Columns on a terminal: UTF-8 characters, not bytes (the arrow is three bytes, one column).
std::size_t TextWidth(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}
} // namespace

std::vector<std::string> HistoryTable(const std::vector<UpdateRecord>& records)
{
    std::vector<std::vector<std::string>> rows{
        {"TIME (UTC)", "UNIT", "LOADER", "APPLICATION", "IMAGE", "LINES", "RESULT", "BY", "SOURCE"}};
    for (const UpdateRecord& record : records)
        rows.push_back(Row(record));
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], TextWidth(row[i]));
    std::vector<std::string> lines;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line += std::string(widths[i] - TextWidth(row[i]), ' ') + COLUMN_GAP;
        }
        lines.push_back(line);
    }
    return lines;
}

int PrintHistory(std::FILE* out, std::FILE* err, const CUpdateHistory& history, const std::string& serial,
                 bool bJson)
{
    HistoryContent content;
    std::string error;
    if (!LoadHistory(history, serial, content, error)) {
        std::fprintf(err, "kestova-flash: the update history %s cannot be read: %s\n", history.Path().c_str(),
                     error.c_str());
        return 1;
    }
    if (content.nUnreadableLines > 0)
        std::fprintf(err, "kestova-flash: %s (%s)\n", HistorySummary(content).c_str(), history.Path().c_str());
    if (bJson) {
        for (const UpdateRecord& record : content.records)
            std::fprintf(out, "%s\n", RecordJson(record).c_str());
        return 0;
    }
    if (content.records.empty()) {
        std::fprintf(err, "kestova-flash: no updates%s are recorded in %s\n",
                     serial.empty() ? "" : (" of serial " + serial).c_str(), history.Path().c_str());
        return 0;
    }
    for (const std::string& line : HistoryTable(content.records))
        std::fprintf(out, "%s\n", line.c_str());
    return 0;
}
