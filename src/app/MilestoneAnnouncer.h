// The milestones of an update, said to a screen reader without moving the focus, from the
// engine's events: the unit identified, the image ready or refused, the run started, the port
// opened or not, every failure and the start hint. Only milestones: the status rows in between
// are there to be read, not said. What is told before the window shows is said once it does.
#pragma once

#include "device/EngineEvents.h"

#include <string>
#include <vector>

class CAnnouncer;
class QWidget;

class CMilestoneAnnouncer {
public:
    explicit CMilestoneAnnouncer(QWidget& window);

    // Said now when the window shows, else once it does.
    void Tell(const std::string& sentence);
    // Said now (the end of an update).
    void Announce(const std::string& sentence);
    // The window has shown: what was told before is said, once the screen reader has taken in
    // the window that appeared.
    void OnShown();

    // A unit named itself: said in full, except for the updated unit back after its restart,
    // whose verdict is then all that is said.
    void OnUnitIdentified(const DeviceIdentity& identity);
    // Every line of an update to `unit` was taken: it restarts and names itself again.
    void OnRunSucceeded(const DeviceIdentity& unit);
    // An update ended (its verdict is said by the caller or by its notice).
    void OnRunEnded();
    void OnImageReady(const EngineSnapshot::Image& image);
    void OnImageRefused(ImageRefusal why, const std::string& text);
    // Why a port or the cable cannot be used: while the user's choice is opened it is the
    // choice's outcome, said with it; otherwise it is said on its own.
    void OnDiagnosis(const std::string& sentence);
    // A port chosen in the list or found by Detect is opened between these two: the port and
    // what became of it are said, since the list says nothing of a choice made while it is
    // closed.
    void BeginPort(const std::string& port);
    void OnPortOpened();
    void EndPort();

private:
    void TellPending();

    QWidget& m_window;
    CAnnouncer* m_pAnnouncer = nullptr;
    std::vector<std::string> m_pending;
    std::string m_strUpdatedSerial; // the unit awaited back from its restart after an update
    bool m_bVerdictInStep = false;  // the engine's step in progress ended an update
    std::string m_strPort;        // a port chosen by the user, being opened
    std::string m_strPortOutcome; // what became of it
};
