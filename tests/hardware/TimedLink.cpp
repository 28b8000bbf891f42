#include "TimedLink.h"

namespace {
constexpr double NS_PER_MS = 1e6;
}

CTimedLink::CTimedLink(LinkKind kind, ILinkEvents& outer, LinkTiming& timing)
    : m_outer(outer), m_timing(timing), m_pInner(MakeDefaultLink(kind, *this))
{
    m_clock.start();
}

LinkError CTimedLink::Write(std::string_view bytes)
{
    const qint64 now = m_clock.nsecsElapsed();
    if (m_nLastReplyNs >= 0)
        m_timing.turnaroundMs.push_back(static_cast<double>(now - m_nLastReplyNs) / NS_PER_MS);
    m_nLastReplyNs = -1;
    m_nLastWriteNs = now;
    return m_pInner->Write(bytes);
}

void CTimedLink::OnLinkBytes(std::string_view bytes)
{
    const qint64 now = m_clock.nsecsElapsed();
    if (m_nLastWriteNs >= 0)
        m_timing.roundTripMs.push_back(static_cast<double>(now - m_nLastWriteNs) / NS_PER_MS);
    m_nLastWriteNs = -1;
    if (m_nLastReplyNs < 0)
        m_nLastReplyNs = now;
    m_outer.OnLinkBytes(bytes);
}
