// A test's or the demo's hold on the simulated cable: loads the simulated libftd2xx.so itself
// (keeping its state alive while the downloader unloads it) and calls its KxSim_ functions.
#pragma once

#include "platform/DynamicLibrary.h"

#include <string>

class CSimCableClient {
public:
    // The path of the simulated library that the downloader is made to load.
    explicit CSimCableClient(const std::string& libraryPath);

    bool IsLoaded() const { return m_library.IsLoaded(); }

    void Reset();
    bool SetMode(const std::string& mode);
    void SetPaced(bool bPaced);
    void ConfigureUnit(int corruptAtLine, int silentAtLine, bool bGarbageBeforeId);
    void SetSerialNumber(unsigned serialNumber);
    void SwapUnit(unsigned serialNumber, int loaderVersion);
    void ConfigureAfterUpdate(int appAfterUpdate, bool bMuteAtFinish);
    void Unplug();
    void Plug();
    void InjectRx(const std::string& bytes, bool bSignal = true);
    void RaiseModemStatus();
    void FailBaudRate(bool bFail);
    void PinLatencyTimer(bool bPinned);
    std::string Written() const;
    std::string UnitReceived() const;
    int UnitDataLineCount() const;
    bool UnitSentFinish() const;
    unsigned RxPending() const;
    bool IsOpen() const;
    unsigned Counter(const std::string& name) const;

private:
    template <typename Fn>
    Fn Get(const char* name) const { return reinterpret_cast<Fn>(m_library.Symbol(name)); }
    std::string CopyText(const char* functionName) const;

    CDynamicLibrary m_library;
};
