// The exported control functions of the simulated library, forwarded to the one cable.
#include "KxSimControl.h"

#include "SimCable.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

unsigned CopyOut(const std::string& text, char* buffer, unsigned capacity)
{
    if (buffer && capacity > 0)
        std::memcpy(buffer, text.data(), std::min<std::size_t>(capacity, text.size()));
    return static_cast<unsigned>(text.size());
}

CSimCable& Cable()
{
    return CSimCable::Instance();
}

} // namespace

void KxSim_Reset(void)
{
    Cable().Reset();
}

int KxSim_SetMode(const char* mode)
{
    const auto parsed = ParseSimCableMode(mode ? mode : "");
    if (!parsed)
        return 0;
    auto lock = Cable().Lock();
    Cable().Overrides().mode = parsed;
    return 1;
}

void KxSim_SetPaced(int bPaced)
{
    auto lock = Cable().Lock();
    Cable().Overrides().bPaced = bPaced != 0;
}

void KxSim_ConfigureUnit(int corruptAtLine, int silentAtLine, int bGarbageBeforeId)
{
    auto lock = Cable().Lock();
    SimCableOverrides& overrides = Cable().Overrides();
    overrides.nCorruptAtLine = corruptAtLine;
    overrides.nSilentAtLine = silentAtLine;
    overrides.bGarbageBeforeId = bGarbageBeforeId != 0;
    if (UnitSimulator* pUnit = Cable().Unit()) {
        pUnit->ReportCorruptAtLine(corruptAtLine);
        pUnit->FallSilentAtLine(silentAtLine);
        pUnit->SetGarbageBeforeIdentification(bGarbageBeforeId != 0);
    }
}

void KxSim_ConfigureAfterUpdate(int appAfterUpdate, int bMuteAtFinish)
{
    auto lock = Cable().Lock();
    SimCableOverrides& overrides = Cable().Overrides();
    overrides.nAppAfterUpdate = appAfterUpdate;
    overrides.bMuteAtFinish = bMuteAtFinish != 0;
    if (UnitSimulator* pUnit = Cable().Unit()) {
        pUnit->SetAppAfterUpdate(appAfterUpdate / 100, appAfterUpdate % 100);
        pUnit->SetMuteAtFinish(bMuteAtFinish != 0);
    }
}

void KxSim_SetSerialNumber(unsigned serialNumber)
{
    auto lock = Cable().Lock();
    Cable().Overrides().serialNumber = serialNumber;
}

void KxSim_SwapUnit(unsigned serialNumber, int loaderVersion)
{
    Cable().SwapUnit(serialNumber, loaderVersion);
}

void KxSim_Unplug(void)
{
    Cable().Unplug();
}

void KxSim_Plug(void)
{
    Cable().Plug();
}

void KxSim_InjectRx(const unsigned char* bytes, unsigned count, int bSignal)
{
    if (bytes)
        Cable().InjectRx(std::string(reinterpret_cast<const char*>(bytes), count), bSignal != 0);
}

void KxSim_RaiseModemStatus(void)
{
    Cable().RaiseModemStatus();
}

void KxSim_FailBaudRate(int bFail)
{
    Cable().SetBaudRateFails(bFail != 0);
}

void KxSim_PinLatencyTimer(int bPinned)
{
    auto lock = Cable().Lock();
    Cable().Overrides().bLatencyPinned = bPinned != 0;
}

unsigned KxSim_Written(char* buffer, unsigned capacity)
{
    return CopyOut(Cable().Written(), buffer, capacity);
}

unsigned KxSim_UnitReceived(char* buffer, unsigned capacity)
{
    auto lock = Cable().Lock();
    const UnitSimulator* pUnit = Cable().Unit();
    return CopyOut(pUnit ? pUnit->ReceivedBytes() : std::string(), buffer, capacity);
}

int KxSim_UnitDataLineCount(void)
{
    auto lock = Cable().Lock();
    const UnitSimulator* pUnit = Cable().Unit();
    return pUnit ? static_cast<int>(pUnit->DataLines().size()) : 0;
}

int KxSim_UnitSentFinish(void)
{
    auto lock = Cable().Lock();
    const UnitSimulator* pUnit = Cable().Unit();
    return pUnit && pUnit->SentFinish() ? 1 : 0;
}

unsigned KxSim_RxPending(void)
{
    return static_cast<unsigned>(Cable().RxPending());
}

int KxSim_IsOpen(void)
{
    return Cable().IsOpen() ? 1 : 0;
}

unsigned KxSim_Counter(const char* name)
{
    const SimCableCounters counters = Cable().Counters();
    const std::string key = name ? name : "";
    const std::pair<const char*, unsigned> table[] = {
        {"opens", counters.nOpens},       {"closes", counters.nCloses},
        {"reads", counters.nReads},       {"readWaits", counters.nReadWaits},
        {"statusQueries", counters.nStatusQueries}, {"writes", counters.nWrites},
        {"arms", counters.nArms},         {"signals", counters.nSignals},
        {"lastBaud", counters.nLastBaud}, {"latencyMs", counters.nLatencyMs},
        {"latencySets", counters.nLatencySets}, {"transfers", counters.nTransfers},
    };
    for (const auto& [entry, value] : table) {
        if (key == entry)
            return value;
    }
    return 0;
}
