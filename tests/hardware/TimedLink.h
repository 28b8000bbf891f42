// A link that passes everything to the real one (serial port or USB cable) and notes when each
// write left and each reply came, for the real-cable suite's turnaround figures.
#pragma once

#include "device/EngineLinks.h"

#include <QElapsedTimer>

#include <memory>
#include <vector>

struct LinkTiming {
    std::vector<double> roundTripMs;  // a write to the first byte of the unit's reply
    std::vector<double> turnaroundMs; // the unit's reply to the program's next write
    std::vector<std::string> notes;   // how the link was set up ("latency timer set to 2 ms")
};

class CTimedLink : public ILink, private ILinkEvents {
public:
    CTimedLink(LinkKind kind, ILinkEvents& outer, LinkTiming& timing);

    LinkError Open(const std::string& name) override { return m_pInner->Open(name); }
    void Close() override { m_pInner->Close(); }
    void Release() override { m_pInner->Release(); }
    LinkError Write(std::string_view bytes) override;
    bool IsOpen() const override { return m_pInner->IsOpen(); }
    int ReopenDelayMs() const override { return m_pInner->ReopenDelayMs(); }
    LinkOpenFailure OpenFailure() const override { return m_pInner->OpenFailure(); }

private:
    void OnLinkBytes(std::string_view bytes) override;
    void OnLinkFailed(const LinkError& error) override { m_outer.OnLinkFailed(error); }
    void OnLinkNote(const std::string& note) override
    {
        m_timing.notes.push_back(note);
        m_outer.OnLinkNote(note);
    }

    ILinkEvents& m_outer;
    LinkTiming& m_timing;
    std::unique_ptr<ILink> m_pInner;
    QElapsedTimer m_clock;
    qint64 m_nLastWriteNs = -1; // a write whose reply has not come yet
    qint64 m_nLastReplyNs = -1; // a reply not yet followed by a write
};
