#include "device/UpdateRecord.h"

#include "platform/JsonText.h"
#include "platform/UpdateHistory.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cstdio>

namespace {
constexpr RecordResult ALL_RESULTS[] = {RecordResult::Verified, RecordResult::Finished, RecordResult::Failed,
                                        RecordResult::Interrupted, RecordResult::Refused};

std::string Text(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toString().toStdString();
}
} // namespace

const char* RecordResultName(RecordResult result)
{
    switch (result) {
    case RecordResult::Verified: return "verified";
    case RecordResult::Finished: return "finished";
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
    return RecordResultName(record.result);
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
    field("text", JsonOrNull(r.strText));
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
    const std::string result = Text(object, "result");
    bool bKnown = false;
    for (const RecordResult candidate : ALL_RESULTS) {
        if (result == RecordResultName(candidate)) {
            record.result = candidate;
            bKnown = true;
        }
    }
    if (!bKnown)
        return false;
    record.strTime = Text(object, "time");
    record.strFace = Text(object, "face");
    record.strModel = Text(object, "model");
    record.strSerial = Text(object, "serial_number");
    record.strLoaderBefore = Text(object, "loader_before");
    record.strAppBefore = Text(object, "app_before");
    record.strLoaderAfter = Text(object, "loader_after");
    record.strAppAfter = Text(object, "app_after");
    record.strImageSource = Text(object, "image_source");
    record.strImageVersion = Text(object, "image_version");
    record.nLinesSent = object.value(QLatin1String("lines_sent")).toInt();
    record.nTotalLines = object.value(QLatin1String("lines_total")).toInt();
    record.strText = Text(object, "text");
    record.strPort = Text(object, "port");
    return true;
}

bool LoadHistory(const CUpdateHistory& history, const std::string& serial, std::vector<UpdateRecord>& records,
                 std::string& error)
{
    records.clear();
    std::vector<std::string> lines;
    if (!history.ReadLines(lines, error))
        return false;
    // Appended in the order the runs were recorded: the newest is last.
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        UpdateRecord record;
        if (ParseRecordJson(*it, record) && (serial.empty() || record.strSerial == serial))
            records.push_back(record);
    }
    return true;
}
