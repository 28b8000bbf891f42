#include "platform/ProfileText.h"

#include <cstring>
#include <strings.h>
#include <utility>

namespace {

const char* const BLANKS = " \t\r\n";

// The bounds of `text` without surrounding blanks, as [first, last).
std::pair<size_t, size_t> TrimmedBounds(const std::string& text, size_t from, size_t to)
{
    while (from < to && std::strchr(BLANKS, text[from]) != nullptr && text[from] != '\0')
        ++from;
    while (to > from && std::strchr(BLANKS, text[to - 1]) != nullptr && text[to - 1] != '\0')
        --to;
    return {from, to};
}

std::string Trimmed(const std::string& text, size_t from, size_t to)
{
    const auto [first, last] = TrimmedBounds(text, from, to);
    return text.substr(first, last - first);
}

bool EqualNoCase(const std::string& a, const char* b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

// The name of a section header line "[name]", if the line is one.
std::optional<std::string> SectionName(const std::string& line)
{
    const auto [first, last] = TrimmedBounds(line, 0, line.size());
    if (last - first < 2 || line[first] != '[')
        return std::nullopt;
    const auto close = line.find(']', first);
    if (close == std::string::npos || close >= last)
        return std::nullopt;
    return Trimmed(line, first + 1, close);
}

// The key of a "key=value" line and where its value starts, if the line is one (comments are
// not).
std::optional<std::pair<std::string, size_t>> KeyOf(const std::string& line)
{
    const auto [first, last] = TrimmedBounds(line, 0, line.size());
    if (first == last || line[first] == ';' || line[first] == '#')
        return std::nullopt;
    const auto eq = line.find('=', first);
    if (eq == std::string::npos || eq >= last)
        return std::nullopt;
    return std::make_pair(Trimmed(line, first, eq), eq + 1);
}

bool Put(std::FILE* out, const std::string& text, const std::string& end)
{
    return std::fwrite(text.data(), 1, text.size(), out) == text.size() &&
           std::fwrite(end.data(), 1, end.size(), out) == end.size();
}

bool HasLineBreak(const char* text)
{
    return std::strpbrk(text, "\r\n") != nullptr;
}

} // namespace

ProfilePlace ScanProfile(std::istream& in, const char* section, const char* key, bool bStopAtKey)
{
    ProfilePlace place;
    bool bInSection = false;
    bool bLineEndKnown = false;
    std::string line;
    for (size_t i = 0; std::getline(in, line); ++i) {
        if (!bLineEndKnown && !in.eof()) {
            bLineEndKnown = true;
            if (!line.empty() && line.back() == '\r')
                place.lineEnd = "\r\n";
        }
        if (auto name = SectionName(line)) {
            if (bInSection)
                break; // only the first section of that name counts
            bInSection = EqualNoCase(*name, section);
            if (bInSection) {
                place.sectionLine = i;
                place.sectionEnd = i + 1;
            }
            continue;
        }
        if (!bInSection)
            continue;
        const auto keyOf = KeyOf(line);
        if (!keyOf)
            continue;
        place.sectionEnd = i + 1;
        if (!place.keyLine && EqualNoCase(keyOf->first, key)) {
            place.keyLine = i;
            place.value = Trimmed(line, keyOf->second, line.size());
            if (bStopAtKey)
                break;
        }
    }
    return place;
}

bool CopyProfileWithEntry(std::istream& in, std::FILE* out, const ProfilePlace& place,
                          const char* section, const std::string& entry)
{
    const std::string& end = place.lineEnd;
    const bool bInsert = place.sectionLine && !place.keyLine;
    bool bOk = true;
    std::string line;
    size_t i = 0;
    for (; bOk && std::getline(in, line); ++i) {
        if (bInsert && i == place.sectionEnd)
            bOk = Put(out, entry, end);
        if (place.keyLine && i == *place.keyLine)
            bOk = bOk && Put(out, entry, end);
        else
            bOk = bOk && Put(out, line, in.eof() ? end : "\n");
    }
    if (bInsert && i == place.sectionEnd)
        bOk = bOk && Put(out, entry, end);
    if (!place.sectionLine)
        bOk = bOk && Put(out, std::string("[") + section + "]", end) && Put(out, entry, end);
    return bOk && !in.bad() && std::ferror(out) == 0;
}

bool IsProfileValue(const char* text)
{
    return !HasLineBreak(text);
}

bool IsProfileKey(const char* text)
{
    const char first = text[std::strspn(text, " \t")];
    return first != '\0' && std::strchr(";#[", first) == nullptr && !HasLineBreak(text) &&
           std::strchr(text, '=') == nullptr;
}

bool IsProfileSection(const char* text)
{
    return !HasLineBreak(text) && std::strchr(text, ']') == nullptr;
}
