// A link for engine tests: what the engine writes is kept; whether the port is there is the
// test's to say. The bytes the unit sends are given to the engine by the test.
#pragma once

#include "link/Link.h"

#include <functional>
#include <string>
#include <utility>

class CFakeLink : public ILink {
public:
    // `note`: what the link says of itself once open, as a real one would.
    CFakeLink(ILinkEvents& events, std::string note) : m_events(events), m_strNote(std::move(note)) {}

    LinkError Open(const std::string&) override
    {
        if (!m_bPresent)
            return LinkError::FromErrno(2, "open");
        m_bOpen = true;
        if (!m_strNote.empty())
            m_events.OnLinkNote(m_strNote);
        return {};
    }
    void Close() override { m_bOpen = false; }
    LinkError Write(std::string_view bytes) override
    {
        if (m_onWrite)
            m_onWrite(bytes);
        if (!m_bOpen)
            return LinkError::Make(LinkFault::NotOpen, "write: the link is closed");
        m_strWritten.append(bytes);
        return {};
    }
    bool IsOpen() const override { return m_bOpen; }

    void SetPresent(bool bPresent) { m_bPresent = bPresent; }
    std::string TakeWritten() { return std::exchange(m_strWritten, {}); }
    // Told of every write the engine attempts, open or not, as it is made.
    void SetWriteObserver(std::function<void(std::string_view)> observer) { m_onWrite = std::move(observer); }

private:
    ILinkEvents& m_events;
    std::string m_strNote;
    bool m_bOpen = false;
    bool m_bPresent = true;
    std::string m_strWritten;
    std::function<void(std::string_view)> m_onWrite;
};
