// What an operation that ends later was started for: the unit as it was identified then, and
// the moment, counted by the engine's generation, which every reset, Detect, port change, echo
// test and identification advances. Its result is used only while its ticket still holds.
#pragma once

#include "device/DeviceIdentity.h"

struct EngineTicket {
    DeviceIdentity unit;
    unsigned long long nGeneration = 0;
};
