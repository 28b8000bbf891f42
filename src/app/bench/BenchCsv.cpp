#include "app/bench/BenchCsv.h"

namespace {
constexpr const char* LINE_END = "\r\n";
constexpr const char* HEADER = "port,model,serial,loader,application_before,application_after,"
                               "image_version,lines_sent,lines_total,result,advice";

// A spreadsheet runs a field that starts with one of these as a formula: it gets a quote first.
bool StartsAsFormula(const std::string& value)
{
    return !value.empty() &&
           (value[0] == '=' || value[0] == '+' || value[0] == '-' || value[0] == '@');
}
} // namespace

std::string CsvField(const std::string& value)
{
    const std::string text = StartsAsFormula(value) ? "'" + value : value;
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string BenchCsv(const std::vector<const CBenchRow*>& rows)
{
    std::string csv = std::string(HEADER) + LINE_END;
    for (const CBenchRow* row : rows) {
        const DeviceIdentity& unit = row->Unit();
        const bool bRan = row->Percent() >= 0;
        const std::vector<std::string> fields = {
            row->Port(),
            unit.m_strModel,
            unit.m_strSerialNumber,
            ShortVersion(unit.m_strLoaderVersion),
            ShortVersion(unit.m_strAppVersion),
            ShortVersion(row->UnitAfter().m_strAppVersion),
            ShortVersion(row->ImageVersion()),
            bRan ? std::to_string(row->LinesSent()) : std::string(),
            bRan ? std::to_string(row->TotalLines()) : std::string(),
            row->StateText(),
            row->Advice()};
        std::string line;
        for (const std::string& field : fields) {
            if (!line.empty() || &field != &fields.front())
                line += ',';
            line += CsvField(field);
        }
        csv += line + LINE_END;
    }
    return csv;
}
