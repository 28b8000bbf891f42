// Control functions that the simulated libftd2xx.so exports beside the D2XX functions, reached
// by loading the same library (CSimCableClient), which also keeps its state across unloads.
#pragma once

#define KX_SIM_API __attribute__((visibility("default")))

extern "C" {

// Everything back to the start: settings from the environment, cable plugged, no unit, counters 0.
KX_SIM_API void KxSim_Reset(void);
// "unit", "loop" (pins linked: every byte written comes back) or "absent"; 0 when unknown.
KX_SIM_API int KxSim_SetMode(const char* mode);
// 960 bytes/s like the real line, or bytes at once.
KX_SIM_API void KxSim_SetPaced(int bPaced);
// Applies to the unit created at the next open, and to the unit in place; 0 means never.
KX_SIM_API void KxSim_ConfigureUnit(int corruptAtLine, int silentAtLine, int bGarbageBeforeId);
// The version a whole update installs (107: Ver 1.07); bMuteAtFinish: after the last line the
// unit never answers again. Applies to the unit in place and to the next one.
KX_SIM_API void KxSim_ConfigureAfterUpdate(int appAfterUpdate, int bMuteAtFinish);
KX_SIM_API void KxSim_SetSerialNumber(unsigned serialNumber);
// Another kx410 takes the place of the unit behind the cable at once, asleep, with its own serial
// number and boot loader version (301: 3.01); what the old unit still had to say is lost. The
// demo does the same on SIGUSR1 (serial 2222, boot loader 3.01).
KX_SIM_API void KxSim_SwapUnit(unsigned serialNumber, int loaderVersion);
// Pulls the cable out: an open device fails every call but FT_Close; no device is found.
KX_SIM_API void KxSim_Unplug(void);
KX_SIM_API void KxSim_Plug(void);
// Raw bytes into the receive queue of the open device; bSignal 0 leaves the event unsignalled.
KX_SIM_API void KxSim_InjectRx(const unsigned char* bytes, unsigned count, int bSignal);
KX_SIM_API void KxSim_RaiseModemStatus(void);
KX_SIM_API void KxSim_FailBaudRate(int bFail);
// The chip's latency timer stays at 16 ms whatever FT_SetLatencyTimer asks (from the next
// setting on), to measure a link that never sets it.
KX_SIM_API void KxSim_PinLatencyTimer(int bPinned);
// Copies up to `capacity` bytes and returns the full length (call with 0 to size a buffer).
KX_SIM_API unsigned KxSim_Written(char* buffer, unsigned capacity);
KX_SIM_API unsigned KxSim_UnitReceived(char* buffer, unsigned capacity);
KX_SIM_API int KxSim_UnitDataLineCount(void);
KX_SIM_API int KxSim_UnitSentFinish(void);
KX_SIM_API unsigned KxSim_RxPending(void);
KX_SIM_API int KxSim_IsOpen(void);
// "opens", "closes", "reads", "readWaits", "statusQueries", "writes", "arms", "signals",
// "lastBaud", "latencyMs" (the chip's timer now), "latencySets", "transfers" (packets of the
// unit's bytes the chip sent to the host); 0 for an unknown name.
KX_SIM_API unsigned KxSim_Counter(const char* name);

}
