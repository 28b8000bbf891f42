// The check after an update: the unit, identified again after its reboot, must be the same unit
// and must run the version of the image it was sent.
#pragma once

#include "device/DeviceIdentity.h"
#include "device/EngineTypes.h"

#include <string>

struct UpdateCheck {
    UpdateResult result = UpdateResult::NotVerified;
    std::string strText;
    bool bNotice = false; // the text is a notice the user must acknowledge, not a status line
};

// "Ver 1.06" for the four digits "0106" (the major and minor halves as decimal values).
std::string VersionText(const std::string& fourDigits);

// strSentVersion: the image's version, empty when the image named none; strSentSerial: the
// serial number of the unit the image was sent to.
UpdateCheck CheckUpdatedUnit(const std::string& strSentVersion, const std::string& strSentSerial,
                             const DeviceIdentity& unit);
