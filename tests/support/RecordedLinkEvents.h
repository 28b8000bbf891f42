// What a link told its owner, kept for the link tests, and the event loop turned until
// something holds (the links deliver on the thread that opened them).
#pragma once

#include "link/Link.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>
#include <string>
#include <vector>

class CRecordedLinkEvents : public ILinkEvents {
public:
    void OnLinkBytes(std::string_view bytes) override
    {
        m_chunks.emplace_back(bytes);
        if (m_onBytes)
            m_onBytes();
    }
    void OnLinkFailed(const LinkError& error) override { m_failures.push_back(error); }
    void OnLinkNote(const std::string& note) override { m_notes.push_back(note); }

    // Everything received so far, in order.
    std::string Received() const
    {
        std::string all;
        for (const std::string& chunk : m_chunks)
            all += chunk;
        return all;
    }

    std::vector<std::string> m_chunks, m_notes;
    std::vector<LinkError> m_failures;
    std::function<void()> m_onBytes;
};

// Runs the event loop until `done` holds or `timeoutMs` passed: whether it held.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

inline void PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}
