#include "device/UpdateRecord.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace {
constexpr RecordResult ALL_RESULTS[] = {RecordResult::Verified, RecordResult::Finished, RecordResult::Failed,
                                        RecordResult::Interrupted, RecordResult::Refused};

QJsonValue TextOrNull(const std::string& text)
{
    return text.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(QString::fromStdString(text));
}

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
    QJsonObject object;
    object.insert(QLatin1String("time"), TextOrNull(r.strTime));
    object.insert(QLatin1String("face"), TextOrNull(r.strFace));
    object.insert(QLatin1String("model"), TextOrNull(r.strModel));
    object.insert(QLatin1String("serial_number"), TextOrNull(r.strSerial));
    object.insert(QLatin1String("loader_before"), TextOrNull(r.strLoaderBefore));
    object.insert(QLatin1String("app_before"), TextOrNull(r.strAppBefore));
    object.insert(QLatin1String("loader_after"), TextOrNull(r.strLoaderAfter));
    object.insert(QLatin1String("app_after"), TextOrNull(r.strAppAfter));
    object.insert(QLatin1String("image_source"), TextOrNull(r.strImageSource));
    object.insert(QLatin1String("image_version"), TextOrNull(r.strImageVersion));
    object.insert(QLatin1String("lines_sent"), r.nLinesSent);
    object.insert(QLatin1String("lines_total"), r.nTotalLines);
    object.insert(QLatin1String("result"), QLatin1String(RecordResultName(r.result)));
    object.insert(QLatin1String("failed_at_line"),
                  r.result == RecordResult::Failed ? QJsonValue(r.nLinesSent) : QJsonValue(QJsonValue::Null));
    object.insert(QLatin1String("text"), TextOrNull(r.strText));
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
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
    return true;
}
