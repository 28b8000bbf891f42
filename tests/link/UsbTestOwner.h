// The owner window of a CUsbCable under test: records what the cable tells it, routes
// "Special_Change" to OnCableData, and lets a test act inside a received chunk.
#pragma once

#include "link/UsbCable.h"
#include "link/UsbCableOwner.h"

#include <QObject>

#include <functional>
#include <string>
#include <vector>

class CTestUsbOwner : public QObject, public CUsbCableOwner {
public:
    void Attach(CUsbCable* pCable) { m_pCable = pCable; }

    QObject* NotifyWindow() override { return this; }
    bool IsUsbActive() const override { return m_bUsbActive; }
    void SetUsbActive(bool bActive) override { m_bUsbActive = bActive; }
    bool IsDropReceived() const override { return m_bDropReceived; }
    bool IsEchoMode() const override { return m_bEchoMode; }
    void OnReceivedText(const std::string& text) override;
    void OnEchoText(const std::string& text) override { m_echoChunks.push_back(text); }
    void KillTimer(int id) override { m_killedTimers.push_back(id); }
    void ShowNotice(const std::string& text) override { m_notices.push_back(text); }
    void ShowMessageBox(const std::string& text) override { m_messageBoxes.push_back(text); }
    void OnLinkNote(const std::string& note) override { m_linkNotes.push_back(note); }

    // Everything received so far, the chunks joined.
    std::string Received() const;

    bool m_bUsbActive = false;
    bool m_bDropReceived = false;
    bool m_bEchoMode = false;
    int m_nNotifications = 0;
    std::vector<std::string> m_chunks;
    std::vector<std::string> m_echoChunks;
    std::vector<int> m_killedTimers;
    std::vector<std::string> m_notices;
    std::vector<std::string> m_messageBoxes;
    std::vector<std::string> m_linkNotes;
    // Called for every received chunk after it is recorded, inside the notification.
    std::function<void(const std::string&)> m_onReceived;

protected:
    bool event(QEvent* pEvent) override;

private:
    CUsbCable* m_pCable = nullptr;
};

// Runs the event loop until the condition holds or the time is up; the condition's last value.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);

// Runs the event loop for the given time.
void PumpEvents(int ms);

// Threads of this process now (/proc/self/task).
int ThreadCount();
// Their names, for a failure message.
std::string ThreadNames();
