#include "web/WebQuery.h"

namespace {

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

} // namespace

std::string PercentEscape(std::string_view strValue)
{
    static constexpr char HEX_DIGITS[] = "0123456789ABCDEF";
    std::string strOut;
    strOut.reserve(strValue.size());
    for (char ch : strValue) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            strOut += ch;
        } else {
            strOut += '%';
            strOut += HEX_DIGITS[c >> 4];
            strOut += HEX_DIGITS[c & 0x0F];
        }
    }
    return strOut;
}

std::string BuildFirmwareUrl(std::string_view strBaseUrl, std::string_view strSerialNumber,
                             std::string_view strVersion, std::string_view strLoaderVersion,
                             bool bDone)
{
    while (!strBaseUrl.empty() && strBaseUrl.back() == '/')
        strBaseUrl.remove_suffix(1);
    std::string strUrl(strBaseUrl);
    strUrl += "/firmware/kx410fw.php?sn=" + PercentEscape(strSerialNumber);
    strUrl += "&fw=" + PercentEscape(strVersion);
    strUrl += "&ldr=" + PercentEscape(strLoaderVersion);
    strUrl += bDone ? "&done=1" : "&done=0";
    return strUrl;
}
