#include "platform/PrivateProfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <strings.h>
#include <vector>

namespace {

std::string Trim(const std::string& text)
{
    const char* blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool EqualNoCase(const std::string& a, const char* b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

// The whole file, read in one go whatever its size; a file that cannot be read, or that is not
// a plain file (a folder in its place, a pipe), is empty.
std::string ReadContent(const char* filePath)
{
    struct stat info {};
    if (stat(filePath, &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    std::ifstream in(filePath, std::ios::binary);
    if (!in)
        return {};
    std::string content;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > 0 && in) {
        content.resize(static_cast<size_t>(size));
        in.read(content.data(), size);
        content.resize(static_cast<size_t>(in.gcount()));
        return content;
    }
    // Not a seekable file: read until its end.
    in.clear();
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return content;
}

// The file's lines without their line feeds; a last line without one still counts.
std::vector<std::string> ReadLines(const char* filePath)
{
    const std::string content = ReadContent(filePath);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        lines.emplace_back(content, start, end - start);
        start = end + 1;
    }
    return lines;
}

// The name of a section header line "[name]", if the line is one.
std::optional<std::string> SectionName(const std::string& line)
{
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    const auto close = t.find(']');
    if (close == std::string::npos)
        return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

// The key and value of a "key=value" line, if the line is one (comments are not).
std::optional<std::pair<std::string, std::string>> KeyValue(const std::string& line)
{
    const std::string t = Trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '#')
        return std::nullopt;
    const auto eq = t.find('=');
    if (eq == std::string::npos)
        return std::nullopt;
    return std::make_pair(Trim(t.substr(0, eq)), Trim(t.substr(eq + 1)));
}

struct KeyLocation {
    std::optional<size_t> sectionLine; // index of the section header
    size_t sectionEnd = 0;             // index after the section's last key line
    std::optional<size_t> keyLine;     // index of the key's line
};

KeyLocation Locate(const std::vector<std::string>& lines, const char* section, const char* key)
{
    KeyLocation where;
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto name = SectionName(lines[i])) {
            if (inSection)
                break; // only the first section of that name counts
            inSection = EqualNoCase(*name, section);
            if (inSection) {
                where.sectionLine = i;
                where.sectionEnd = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (auto kv = KeyValue(lines[i])) {
            where.sectionEnd = i + 1;
            if (!where.keyLine && EqualNoCase(kv->first, key))
                where.keyLine = i;
        }
    }
    return where;
}

bool ReplaceFile(const std::string& path, const std::string& content)
{
    const std::string temp = path + ".tmp";
    FILE* out = std::fopen(temp.c_str(), "wb");
    if (!out)
        return false;
    const bool bWritten = std::fwrite(content.data(), 1, content.size(), out) == content.size();
    const bool bFlushed = std::fflush(out) == 0 && fsync(fileno(out)) == 0;
    const bool bClosed = std::fclose(out) == 0;
    if (!bWritten || !bFlushed || !bClosed || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

} // namespace

std::optional<std::string> ReadPrivateProfileValue(const char* section, const char* key,
                                                   const char* filePath)
{
    if (!section || !key || !filePath)
        return std::nullopt;
    const auto lines = ReadLines(filePath);
    const auto where = Locate(lines, section, key);
    if (!where.keyLine)
        return std::nullopt;
    return KeyValue(lines[*where.keyLine])->second;
}

size_t GetPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                               char* buffer, size_t capacity, const char* filePath)
{
    if (!buffer || capacity == 0)
        return 0;
    const std::string value = ReadPrivateProfileValue(section, key, filePath)
                                  .value_or(defaultValue ? defaultValue : "");
    const size_t count = std::min(value.size(), capacity - 1);
    std::memcpy(buffer, value.data(), count);
    buffer[count] = '\0';
    return count;
}

int WritePrivateProfileString(const char* section, const char* key, const char* value,
                              const char* filePath)
{
    if (!section || !key || !filePath || !*filePath)
        return 0;
    auto lines = ReadLines(filePath);
    const auto where = Locate(lines, section, key);
    const std::string entry = std::string(key) + "=" + (value ? value : "");
    if (where.keyLine) {
        lines[*where.keyLine] = entry;
    } else if (where.sectionLine) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(where.sectionEnd), entry);
    } else {
        lines.push_back(std::string("[") + section + "]");
        lines.push_back(entry);
    }
    size_t total = 0;
    for (const auto& line : lines)
        total += line.size() + 1;
    std::string content;
    content.reserve(total);
    for (const auto& line : lines) {
        content += line;
        content += '\n';
    }
    return ReplaceFile(filePath, content) ? 1 : 0;
}
