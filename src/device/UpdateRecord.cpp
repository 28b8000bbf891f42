#include "device/UpdateRecord.h"

#include "platform/JsonText.h"
#include "platform/UpdateHistory.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {
constexpr RecordResult ALL_RESULTS[] = {RecordResult::Verified, RecordResult::Finished, RecordResult::Failed,
                                        RecordResult::Interrupted, RecordResult::Refused};

// A text field: a string, or null (or absent) for none; false for a value of another type.
bool TextField(const QJsonObject& object, const char* key, std::string& text)
{
    const QJsonValue value = object.value(QLatin1String(key));
    text.clear();
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isString())
        return false;
    text = value.toString().toStdString();
    return true;
}

// A count of lines: a whole number from 0; false for anything else.
bool CountField(const QJsonObject& object, const char* key, int& count)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (!(number >= 0 && number <= INT_MAX) || std::floor(number) != number)
        return false;
    count = static_cast<int>(number);
    return true;
}

bool ResultField(const QJsonObject& object, RecordResult& result)
{
    std::string name;
    if (!TextField(object, "result", name))
        return false;
    if (name == "finished") { // written by older versions
        result = RecordResult::Finished;
        return true;
    }
    for (const RecordResult candidate : ALL_RESULTS) {
        if (name == RecordResultName(candidate)) {
            result = candidate;
            return true;
        }
    }
    return false;
}
} // namespace

const char* RecordResultName(RecordResult result)
{
    switch (result) {
    case RecordResult::Verified: return "verified";
    case RecordResult::Finished: return "not-verified";
    case RecordResult::Failed: return "failed";
    case RecordResult::Interrupted: return "interrupted";
    case RecordResult::Refused: return "refused";
    }
    return "failed";
}

std::string RecordResultText(const UpdateRecord& record)
{
    if (record.result == RecordResult::Failed)
        return "failed at line " + std::to_string(record.nLinesSent);
    if (record.result == RecordResult::Finished)
        return "finished, not verified";
    return RecordResultName(record.result);
}

std::string StoppedAtOnceText(const std::string& model, int nLinesSent, int nTotalLines)
{
    return "Stopped at once after line " + std::to_string(nLinesSent) + " of " + std::to_string(nTotalLines) +
           ". The " + (model.empty() ? std::string("unit") : model) + " must be updated again before it is used.";
}

std::string RecordJson(const UpdateRecord& r)
{
    // Written field by field, so that every line reads in the same order as the table.
    std::string json = "{";
    auto field = [&json](const char* key, const std::string& value) {
        if (json.size() > 1)
            json += ',';
        json += '"';
        json += key;
        json += "\":";
        json += value;
    };
    field("time", JsonOrNull(r.strTime));
    field("face", JsonOrNull(r.strFace));
    field("model", JsonOrNull(r.strModel));
    field("serial_number", JsonOrNull(r.strSerial));
    field("loader_before", JsonOrNull(r.strLoaderBefore));
    field("app_before", JsonOrNull(r.strAppBefore));
    field("loader_after", JsonOrNull(r.strLoaderAfter));
    field("app_after", JsonOrNull(r.strAppAfter));
    field("image_source", JsonOrNull(r.strImageSource));
    field("image_version", JsonOrNull(r.strImageVersion));
    field("lines_sent", std::to_string(r.nLinesSent));
    field("lines_total", std::to_string(r.nTotalLines));
    field("result", JsonOrNull(RecordResultName(r.result)));
    field("failed_at_line", r.result == RecordResult::Failed ? std::to_string(r.nLinesSent) : "null");
    field("text", JsonOrNull(OneLine(r.strText)));
    if (!r.strPort.empty())
        field("port", JsonOrNull(r.strPort));
    return json + "}";
}

bool ParseRecordJson(const std::string& line, UpdateRecord& record)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject object = document.object();
    UpdateRecord read;
    const bool bRead = ResultField(object, read.result) && TextField(object, "time", read.strTime) &&
                       TextField(object, "face", read.strFace) &&
                       TextField(object, "model", read.strModel) &&
                       TextField(object, "serial_number", read.strSerial) &&
                       TextField(object, "loader_before", read.strLoaderBefore) &&
                       TextField(object, "app_before", read.strAppBefore) &&
                       TextField(object, "loader_after", read.strLoaderAfter) &&
                       TextField(object, "app_after", read.strAppAfter) &&
                       TextField(object, "image_source", read.strImageSource) &&
                       TextField(object, "image_version", read.strImageVersion) &&
                       CountField(object, "lines_sent", read.nLinesSent) &&
                       CountField(object, "lines_total", read.nTotalLines) && TextField(object, "text", read.strText);
    if (!bRead)
        return false;
    // The port is optional: only bench records name it.
    const QJsonValue port = object.value(QLatin1String("port"));
    if (!port.isUndefined() && !port.isNull() && !port.isString())
        return false;
    read.strPort = port.toString().toStdString();
    record = read;
    return true;
}

bool LoadHistory(const CUpdateHistory& history, const std::string& serial, HistoryContent& content,
                 std::string& error)
{
    content = {};
    std::vector<std::string> lines;
    if (!history.ReadLines(lines, error))
        return false;
    // Appended in the order the runs ended: among runs that started at the same second, the
    // one appended later comes first. Clocks may have been set back, hence the sort by time.
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        UpdateRecord record;
        if (!ParseRecordJson(*it, record))
            ++content.nUnreadableLines;
        else if (serial.empty() || record.strSerial == serial)
            content.records.push_back(record);
    }
    std::stable_sort(content.records.begin(), content.records.end(),
                     [](const UpdateRecord& a, const UpdateRecord& b) { return a.strTime > b.strTime; });
    return true;
}

std::string HistorySummary(const HistoryContent& content)
{
    const std::size_t count = content.records.size();
    std::string summary = std::to_string(count) + (count == 1 ? " update recorded" : " updates recorded");
    if (content.nUnreadableLines > 0)
        summary += "; " + std::to_string(content.nUnreadableLines) +
                   (content.nUnreadableLines == 1 ? " line could not be read" : " lines could not be read");
    return summary;
}
