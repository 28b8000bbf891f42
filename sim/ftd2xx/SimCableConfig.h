// How the simulated cable is set up (far end, line speed, the unit's faults): read from the
// environment when the device is opened; a test's control calls override single fields.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum class SimCableMode { Unit, Loop, Absent };

struct SimCableConfig {
    SimCableMode mode = SimCableMode::Unit;
    bool bPaced = false;             // 960 bytes/s like the real 9600-baud line
    int nCorruptAtLine = 0;          // 0: the unit never reports a corrupt program
    int nSilentAtLine = 0;           // 0: the unit never falls silent
    bool bGarbageBeforeId = false;   // noise before the identification text
    std::optional<std::uint32_t> serialNumber;
    int nAppAfterUpdate = 107;       // the version a whole update installs: 107 is Ver 1.07
    bool bMuteAtFinish = false;      // the unit never answers after the last line
    bool bNoWakeInLoader = false;    // once identified, the unit ignores the wake-up until "C"
    bool bLatencyPinned = false;     // the chip's latency timer stays at 16 ms whatever is asked
};

// Fields a test has set explicitly; they win over the environment.
struct SimCableOverrides {
    std::optional<SimCableMode> mode;
    std::optional<bool> bPaced;
    std::optional<int> nCorruptAtLine;
    std::optional<int> nSilentAtLine;
    std::optional<bool> bGarbageBeforeId;
    std::optional<std::uint32_t> serialNumber;
    std::optional<int> nAppAfterUpdate;
    std::optional<bool> bMuteAtFinish;
    std::optional<bool> bLatencyPinned;
};

// KX_SIM_CABLE=unit|loop|absent, KX_SIM_PACE=1, KX_SIM_CORRUPT_AT=N, KX_SIM_SILENT_AT=N,
// KX_SIM_GARBAGE=1, KX_SIM_SERIAL=N, KX_SIM_APP_AFTER=MMmm (107: Ver 1.07),
// KX_SIM_MUTE_AT_FINISH=1, KX_SIM_LATENCY_PINNED=1; absent or unreadable variables keep the defaults.
SimCableConfig SimCableConfigFromEnvironment();

SimCableConfig ApplyOverrides(SimCableConfig config, const SimCableOverrides& overrides);

// "unit", "loop" or "absent"; nullopt for anything else.
std::optional<SimCableMode> ParseSimCableMode(const std::string& text);
