#include "SimCableConfig.h"

#include <cstdlib>

namespace {

std::optional<long long> NumberFromEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        return std::nullopt;
    char* end = nullptr;
    const long long number = std::strtoll(value, &end, 10);
    if (*end != '\0')
        return std::nullopt;
    return number;
}

} // namespace

std::optional<SimCableMode> ParseSimCableMode(const std::string& text)
{
    if (text == "unit")
        return SimCableMode::Unit;
    if (text == "loop")
        return SimCableMode::Loop;
    if (text == "absent")
        return SimCableMode::Absent;
    return std::nullopt;
}

SimCableConfig SimCableConfigFromEnvironment()
{
    SimCableConfig config;
    if (const char* mode = std::getenv("KX_SIM_CABLE"))
        config.mode = ParseSimCableMode(mode).value_or(config.mode);
    if (auto paced = NumberFromEnvironment("KX_SIM_PACE"))
        config.bPaced = *paced != 0;
    if (auto line = NumberFromEnvironment("KX_SIM_CORRUPT_AT"))
        config.nCorruptAtLine = static_cast<int>(*line);
    if (auto line = NumberFromEnvironment("KX_SIM_SILENT_AT"))
        config.nSilentAtLine = static_cast<int>(*line);
    if (auto garbage = NumberFromEnvironment("KX_SIM_GARBAGE"))
        config.bGarbageBeforeId = *garbage != 0;
    if (auto serial = NumberFromEnvironment("KX_SIM_SERIAL"))
        config.serialNumber = static_cast<std::uint32_t>(*serial);
    if (auto version = NumberFromEnvironment("KX_SIM_APP_AFTER"))
        config.nAppAfterUpdate = static_cast<int>(*version);
    if (auto mute = NumberFromEnvironment("KX_SIM_MUTE_AT_FINISH"))
        config.bMuteAtFinish = *mute != 0;
    if (auto deaf = NumberFromEnvironment("KX_SIM_NO_WAKE_IN_LOADER"))
        config.bNoWakeInLoader = *deaf != 0;
    if (auto pinned = NumberFromEnvironment("KX_SIM_LATENCY_PINNED"))
        config.bLatencyPinned = *pinned != 0;
    return config;
}

SimCableConfig ApplyOverrides(SimCableConfig config, const SimCableOverrides& overrides)
{
    config.mode = overrides.mode.value_or(config.mode);
    config.bPaced = overrides.bPaced.value_or(config.bPaced);
    config.nCorruptAtLine = overrides.nCorruptAtLine.value_or(config.nCorruptAtLine);
    config.nSilentAtLine = overrides.nSilentAtLine.value_or(config.nSilentAtLine);
    config.bGarbageBeforeId = overrides.bGarbageBeforeId.value_or(config.bGarbageBeforeId);
    if (overrides.serialNumber)
        config.serialNumber = overrides.serialNumber;
    config.nAppAfterUpdate = overrides.nAppAfterUpdate.value_or(config.nAppAfterUpdate);
    config.bMuteAtFinish = overrides.bMuteAtFinish.value_or(config.bMuteAtFinish);
    config.bLatencyPinned = overrides.bLatencyPinned.value_or(config.bLatencyPinned);
    return config;
}
