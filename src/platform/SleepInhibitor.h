// Holds off sleep, shutdown and idling while an update runs: a logind inhibitor lock (a file
// descriptor kept open until released) and, for the window, the desktop portal's Inhibit.
// Every D-Bus call is asynchronous; nothing here waits for the bus.
#pragma once

#include <QDBusConnection>
#include <QObject>

#include <string>

class CSupportLog;

class CSleepInhibitor : public QObject {
public:
    static constexpr const char* WHO = "Kestova Firmware Downloader";
    static constexpr const char* WHAT = "sleep:shutdown:idle";
    static constexpr const char* MODE = "block";
    static constexpr unsigned PORTAL_LOGOUT = 1;
    static constexpr unsigned PORTAL_SUSPEND = 4;

    // bPortal: also ask the desktop portal on the session bus (the window in a desktop session).
    explicit CSleepInhibitor(CSupportLog* pLog, bool bPortal = false);
    ~CSleepInhibitor() override;
    CSleepInhibitor(const CSleepInhibitor&) = delete;
    CSleepInhibitor& operator=(const CSleepInhibitor&) = delete;

    // Held while bHeld; `why` says what runs ("Updating the firmware of kx410 serial 12345").
    // Repeating the same state does nothing.
    void SetHeld(bool bHeld, const std::string& why);
    bool IsWanted() const { return m_bWanted; }
    // The lock's descriptor once logind granted it, else -1.
    int LockFd() const { return m_nLockFd; }

private:
    void AskLogind(const std::string& why);
    void AskPortal(const std::string& why);
    void ReleasePortal();
    void Note(const std::string& text);

    CSupportLog* m_pLog;
    QDBusConnection m_system;
    QDBusConnection m_session;
    bool m_bPortal;
    bool m_bWanted = false;
    int m_nLockFd = -1;
    int m_nRequest = 0; // counts Hold requests: an answer to an older one is let go
    QString m_portalHandle;
};
