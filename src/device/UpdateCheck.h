// The check after an update: the unit, identified again after its reboot, must be the same unit
// and must run the version of the image it was sent.
#pragma once

#include "device/DeviceIdentity.h"
#include "device/EngineTypes.h"

#include <string>

struct UpdateCheck {
    UpdateResult result = UpdateResult::NotVerified;
    std::string strText;
    // The same unit still reports the version it had before the update: worth a notice too,
    // when it is back within its reboot window.
    bool bNotice = false;
};

// "Ver 1.06" for the four digits "0106" (the major and minor halves as decimal values).
std::string VersionText(const std::string& fourDigits);

// strSentVersion: the image's version, empty when the image named none; updated: the unit the
// image was sent to, as it was before the update; unit: the unit identified now.
UpdateCheck CheckUpdatedUnit(const std::string& strSentVersion, const DeviceIdentity& updated,
                             const DeviceIdentity& unit);
