#include "cli/HistoryList.h"

#include "device/UpdateRecord.h"
#include "platform/UpdateHistory.h"

#include <algorithm>

namespace {
const char* const COLUMN_GAP = "  ";

// "1.00 -> 1.07"; "1.00 -> ?" when the unit was not identified again after a run that sent
// lines; only "1.00" when nothing changed or nothing was sent.
std::string BeforeAfter(const std::string& before, const std::string& after, bool bSent)
{
    if (after.empty())
        return bSent && before.size() > 0 ? before + " -> ?" : before;
    return after == before ? before : before + " -> " + after;
}

std::vector<std::string> Row(const UpdateRecord& r)
{
    const bool bSent = r.nLinesSent > 0;
    return {r.strTime,
            r.strModel + " " + r.strSerial,
            BeforeAfter(r.strLoaderBefore, r.strLoaderAfter, false),
            BeforeAfter(r.strAppBefore, r.strAppAfter, bSent && r.result != RecordResult::Failed &&
                                                           r.result != RecordResult::Interrupted),
            r.strImageVersion.empty() ? std::string("-") : r.strImageVersion,
            std::to_string(r.nLinesSent) + "/" + std::to_string(r.nTotalLines),
            RecordResultText(r),
            r.strFace,
            r.strImageSource};
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
            widths[i] = std::max(widths[i], row[i].size());
    std::vector<std::string> lines;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line += std::string(widths[i] - row[i].size(), ' ') + COLUMN_GAP;
        }
        lines.push_back(line);
    }
    return lines;
}

int PrintHistory(std::FILE* out, std::FILE* err, const CUpdateHistory& history, const std::string& serial,
                 bool bJson)
{
    std::vector<UpdateRecord> records;
    std::string error;
    if (!LoadHistory(history, serial, records, error)) {
        std::fprintf(err, "kestova-flash: the update history %s cannot be read: %s\n", history.Path().c_str(),
                     error.c_str());
        return 1;
    }
    if (bJson) {
        for (const UpdateRecord& record : records)
            std::fprintf(out, "%s\n", RecordJson(record).c_str());
        return 0;
    }
    if (records.empty()) {
        std::fprintf(err, "kestova-flash: no updates%s are recorded in %s\n",
                     serial.empty() ? "" : (" of serial " + serial).c_str(), history.Path().c_str());
        return 0;
    }
    for (const std::string& line : HistoryTable(records))
        std::fprintf(out, "%s\n", line.c_str());
    return 0;
}
