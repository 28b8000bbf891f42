#include "device/UpdateCheck.h"

#include "device/TextValues.h"

#include <cstdio>

namespace {
constexpr std::size_t HALF_CHARS = 2;

std::pair<int, int> VersionParts(const std::string& fourDigits)
{
    const std::string major = fourDigits.substr(0, HALF_CHARS);
    const std::string minor =
        fourDigits.size() > HALF_CHARS ? fourDigits.substr(HALF_CHARS, HALF_CHARS) : "";
    return {DecimalValue(major), DecimalValue(minor)};
}
} // namespace

std::string VersionText(const std::string& fourDigits)
{
    return "Ver " + VersionNumberText(fourDigits);
}

UpdateCheck CheckUpdatedUnit(const std::string& strSentVersion, const DeviceIdentity& updated,
                             const DeviceIdentity& unit)
{
    const std::string& model = unit.m_strModel;
    if (unit.m_strSerialNumber != updated.m_strSerialNumber)
        return {UpdateResult::NotVerified,
                "Another " + model + " (serial " + unit.m_strSerialNumber +
                    ") is connected; the updated unit (serial " + updated.m_strSerialNumber +
                    ") was not checked.",
                false};
    if (strSentVersion.empty())
        return {UpdateResult::NoVersion,
                "Update finished; the image names no version to check against.", false};
    if (VersionParts(unit.m_strAppVersion) != VersionParts(strSentVersion))
        return {UpdateResult::NotVerified,
                "The " + model + " still reports " + VersionText(unit.m_strAppVersion) +
                    " after the update. Cycle the power to the " + model + " and try again.",
                VersionParts(unit.m_strAppVersion) == VersionParts(updated.m_strAppVersion)};
    return {UpdateResult::Verified,
            "Update verified: " + model + " now runs " + VersionText(strSentVersion), false};
}
