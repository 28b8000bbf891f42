#include "device/DeviceIdentity.h"

#include <cstdio>
#include <string_view>

#include "device/TextValues.h"

namespace {

// The field of ID_FIELD_CHARS characters at pos; shorter (or empty) where the text ends early.
std::string Field(const std::string& text, std::size_t pos)
{
    if (pos >= text.size()) {
        return {};
    }
    return text.substr(pos, ID_FIELD_CHARS);
}

std::string VersionLine(const char* label, const std::string& version)
{
    return label + VersionNumberText(version);
}

}  // namespace

std::vector<std::string> ParseIdentification(const std::string& text, DeviceIdentity& id)
{
    const std::string productId = Field(text, ID_PRODUCT_ID_POS);
    id.m_strModel = productId == PRODUCT_ID_KX410 ? std::string(MODEL_KX410) : productId;
    id.m_strLoaderVersion = Field(text, ID_LOADER_VERSION_POS);
    id.m_strAppVersion = Field(text, ID_APP_VERSION_POS);
    const std::string serialHex = Field(text, ID_SERIAL_HIGH_POS) + Field(text, ID_SERIAL_LOW_POS);
    id.m_strSerialNumber = SignedDecimalText(HexValue(serialHex));

    return {
        "Found Device: " + id.m_strModel,
        VersionLine("Boot Loader Version: ", id.m_strLoaderVersion),
        VersionLine("Application Version: ", id.m_strAppVersion),
        "Serial Number: " + id.m_strSerialNumber,
    };
}

std::string IdentitySentence(const DeviceIdentity& id)
{
    return "Found Device: " + id.m_strModel + ", " +
           VersionLine("Boot Loader Version: ", id.m_strLoaderVersion) + ", " +
           VersionLine("Application Version: ", id.m_strAppVersion) +
           ", Serial Number: " + id.m_strSerialNumber + ".";
}
