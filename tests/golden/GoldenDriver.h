// The one place where the golden scenarios touch the update engine: it builds the engine, opens
// its links and delivers the scenarios' verbs (the unit's bytes, timers that run out, the user's
// actions, the service's answers). A rewrite of the engine rewrites this file pair alone.
#pragma once

#include "device/EngineLinks.h"

#include <memory>
#include <string>

class CGoldenRecorder;
class CSupportLog;

enum class TimerKind { Wake, WakeGap, ProgramReply, Silence, FinishPause, EchoStart, EchoReply, RebootWindow };
enum class DetectChoice { Continue, Cancel };

class CGoldenDriver {
public:
    // The engine reports to `face`, traces to `log`, and asks the service through a double
    // whose requests `face` records.
    CGoldenDriver(CGoldenRecorder& face, CSupportLog& log);
    ~CGoldenDriver();

    // The name the port list shows for a link: the terminal's path, or the USB cable's name.
    std::string PortName(LinkKind kind) const;
    // The timer with its interval, as the transcript names it ("wake 1000 ms").
    static std::string TimerName(TimerKind kind);

    // Each verb returns an empty string, or why it could not be done.
    std::string OpenPort(LinkKind kind);
    // The window starts with `kind` saved as its port, and that port is not there.
    std::string StartWithSavedPortAbsent(LinkKind kind);
    std::string UnitSays(const std::string& bytes);
    std::string Fire(TimerKind kind);
    std::string UserOpenFile(const std::string& path);
    std::string UserGetFromWeb();
    std::string UserSend();
    std::string UserDetect(DetectChoice choice);
    // The port list is opened and `kind` chosen in it.
    std::string UserChangePort(LinkKind kind);
    std::string Unplug();
    std::string StartEchoTest();
    // The newest fetch is answered (even one the engine has cancelled: a late answer).
    std::string WebAnswer(const std::string& body);
    std::string WebFail();
    // What the engine left to be done after the current step (notices shown "later").
    void Settle();

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};
