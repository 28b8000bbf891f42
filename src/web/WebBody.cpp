#include "web/WebBody.h"

std::deque<std::string> SplitWebBody(std::string_view strBody)
{
    std::deque<std::string> lines;
    do {
        const std::size_t nLf = strBody.find('\n');
        std::string_view strLine = strBody.substr(0, nLf);
        strBody.remove_prefix(nLf == std::string_view::npos ? strBody.size() : nLf + 1);
        if (!strLine.empty() && strLine.back() == '\r')
            strLine.remove_suffix(1);
        lines.emplace_back(strLine);
    } while (!strBody.empty());
    return lines;
}
