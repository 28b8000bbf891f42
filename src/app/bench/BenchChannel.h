// One channel of the service bench: one port, its own update engine, and the row that says what
// happened on it, kept from the engine's events and snapshot. It loads the bench's image for each
// unit identified, starts it when asked (or by itself when the bench starts units as they are
// identified), and none holds another up.
#pragma once

#include "app/bench/BenchPolicy.h"
#include "app/bench/BenchRow.h"
#include "device/EngineEvents.h"
#include "device/UpdateEngine.h"

#include <string>

class CSupportLog;
class CUpdateHistory;
class CBenchChannel;

class IBenchChannelListener {
public:
    virtual ~IBenchChannelListener() = default;
    // The channel's row changed; bMilestone: to be told (its Milestone()).
    virtual void OnChannelChanged(CBenchChannel& channel, bool bMilestone) = 0;
    // Lines started or stopped going to the channel's unit.
    virtual void OnChannelWriting(CBenchChannel& channel) = 0;
};

class CBenchChannel : private IEngineEvents {
public:
    // `openName`: the port as the engine opens it ("ttyUSB3", "pts/7", "USB"); `lastingName`:
    // the name that stays when the kernel renumbers it on re-plug.
    CBenchChannel(const std::string& openName, const std::string& lastingName,
                  const BenchPolicy& policy, IBenchChannelListener& listener, CSupportLog* pLog,
                  CUpdateHistory* pHistory);
    ~CBenchChannel() override;
    CBenchChannel(const CBenchChannel&) = delete;
    CBenchChannel& operator=(const CBenchChannel&) = delete;

    // Tests give their own links.
    void SetLinkFactory(LinkFactory factory) { m_engine.SetLinkFactory(std::move(factory)); }
    // Opens the port and starts waking the unit.
    void Open();
    // The bench's image changed: an identified unit gets it checked now.
    void ImageChanged();
    // Starts the run when the unit may be started (Update All); false otherwise.
    bool Start();
    // Stops the run after the line in flight; false when none runs.
    bool Stop();
    // The port went (true) or came back (false), perhaps under a new name.
    void SetGone(bool bGone, const std::string& openName = {});
    // Ends everything at once: the program is ending.
    void Shutdown() { m_engine.Shutdown(); }

    const CBenchRow& Row() const { return m_row; }
    const std::string& OpenName() const { return m_strOpenName; }
    const std::string& LastingName() const { return m_strLastingName; }
    bool IsWriting() const { return m_bWriting; }
    const CUpdateEngine& Engine() const { return m_engine; }

private:
    // --- IEngineEvents ---
    void OnStatusRow(const std::string& text) override;
    void OnChanged(const EngineSnapshot& snapshot) override;
    void OnLinkDropped(const LinkError& error, bool bForget) override;
    void OnUnitIdentified(const DeviceIdentity& unit) override;
    void OnImageReady(const EngineSnapshot::Image& image) override;
    void OnImageRefused(ImageRefusal refusal, const std::string& why) override;
    void OnProgress(const RunProgress& progress) override;
    void OnRunSucceeded(const std::vector<std::string>& rows) override;
    void OnRunEnded(const UpdateOutcome& outcome) override;
    void OnNotice(const EngineNotice& notice) override;

    void LoadImage();
    void ImageReady(const EngineSnapshot::Image& image);
    void Changed(bool bMilestone) { m_listener.OnChannelChanged(*this, bMilestone); }

    std::string m_strOpenName;
    const std::string m_strLastingName;
    const BenchPolicy& m_policy;
    IBenchChannelListener& m_listener;
    CSupportLog* m_pLog;
    CBenchRow m_row;
    std::string m_strLastNotice; // the last notice the engine gave, for the support log
    CUpdateEngine m_engine;
    bool m_bImageReady = false; // the image suits the unit and was offered to it
    bool m_bFresh = false;      // a unit new on the channel: started by itself when the bench does
    bool m_bWriting = false;
};
