#include "web/ServiceUrl.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Length of the scheme with its "://" when it is http or https, else 0.
size_t WebSchemeLength(const std::string& text)
{
    const std::string lower = Lower(text.substr(0, 8));
    if (lower.rfind("http://", 0) == 0)
        return 7;
    if (lower.rfind("https://", 0) == 0)
        return 8;
    return 0;
}

} // namespace

bool CheckServiceUrl(const std::string& text, std::string& normalized, std::string& reason)
{
    const bool bPlain = std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return c > 0x20 && c < 0x7f;
    });
    if (text.empty() || !bPlain) {
        reason = "an address must be one word of plain characters";
        return false;
    }
    const size_t nScheme = WebSchemeLength(text);
    if (nScheme == 0) {
        reason = "only http:// and https:// addresses are accepted";
        return false;
    }
    const size_t nHostEnd = text.find_first_of("/?#", nScheme);
    const std::string host = text.substr(nScheme, nHostEnd - nScheme);
    if (host.empty() || host[0] == ':' || host[0] == '@') {
        reason = "the address names no host";
        return false;
    }
    normalized = text;
    while (normalized.size() > nScheme + host.size() && normalized.back() == '/')
        normalized.pop_back();
    return true;
}
