#include "UnitSimulator.h"

#include <algorithm>
#include <cstdio>

// How received bytes are split. The downloader writes the wake-up texts, the one-letter
// commands "A", "B" and "C", and the data lines each followed by "aa", and it sends the next
// data line only after the acknowledgement of the previous one. So the unit reads:
//  - "15EBaa" and "16EAaa" at the start of the unread text as the wake-up;
//  - "A", "B" or "C" at the start of the unread text as a command (data lines are hex
//    records that begin with ":", never with one of these letters);
//  - anything else as a data line, complete once the unread text ends in "aa": the line is
//    everything before that final "aa". A record may itself contain or end in "a" or "aa"
//    (":...0aaa" is the line ":...0a"), so the line is cut at the last "aa", never at the
//    first. A line that arrives in pieces waits for the piece that ends in "aa".
// While no conversation runs (before the wake-up, after "C", after falling silent) text that
// is neither a wake-up nor a command is skipped one byte at a time.

namespace {
// Line noise: non-printable bytes and no ".".
const std::string GARBAGE_BYTES("\x01\x02\x7f\x80\xfe\xff\x1b\x00\x10\x05\x06\x15\x16\x18\x8d\x9c",
                                16);
const char* const IDENT_LEAD = ".KX410BL ";        // positions 0-8
const char* const IDENT_TAIL = " kx410 boot loader ready";
constexpr char IDENT_FILL = '-';
constexpr std::size_t PRODUCT_ID_CHARS = 4;
constexpr int MAX_VERSION_PART = 99;
constexpr unsigned HALF_SHIFT = 16;
constexpr unsigned HALF_MASK = 0xFFFF;

bool StartsWith(const std::string& text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

std::string TwoDigits(int value)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02d", std::clamp(value, 0, MAX_VERSION_PART));
    return buffer;
}

std::string FourHex(unsigned value)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04X", value & HALF_MASK);
    return buffer;
}

int CountOccurrences(const std::string& text, std::string_view part)
{
    if (part.empty())
        return 0;
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size()))
        ++count;
    return count;
}
} // namespace

UnitSimulator::UnitSimulator(UnitIdentity id) : m_id(std::move(id)) {}

std::string UnitSimulator::IdentificationText(const UnitIdentity& id)
{
    std::string productId = id.productId.substr(0, PRODUCT_ID_CHARS);
    productId.resize(PRODUCT_ID_CHARS, '0');
    std::string text = IDENT_LEAD;
    text += TwoDigits(id.loaderMajor) + TwoDigits(id.loaderMinor);
    text += TwoDigits(id.appMajor) + TwoDigits(id.appMinor);
    text += productId;
    text += FourHex(id.serialNumber);
    text += FourHex(id.serialNumber >> HALF_SHIFT);
    text += IDENT_TAIL;
    text.resize(IDENTIFICATION_LENGTH, IDENT_FILL);
    std::replace(text.begin() + 1, text.end(), '.', IDENT_FILL);
    return text;
}

void UnitSimulator::ReportCorruptAtLine(int n) { m_nCorruptAt = n; }

void UnitSimulator::FallSilentAtLine(int n) { m_nSilentAt = n; }

void UnitSimulator::SetGarbageBeforeIdentification(bool bOn) { m_bGarbage = bOn; }

void UnitSimulator::SetMuteAtFinish(bool bOn) { m_bMuteAtFinish = bOn; }

void UnitSimulator::SetWakeInLoader(bool bOn) { m_bWakeInLoader = bOn; }

void UnitSimulator::SetAppAfterUpdate(int major, int minor)
{
    m_id.appAfterMajor = major;
    m_id.appAfterMinor = minor;
}

void UnitSimulator::Restart()
{
    m_state = State::Asleep;
    m_strPending.clear();
    m_bWakeArmed = false;
}

const std::string& UnitSimulator::ReceivedBytes() const { return m_strReceived; }

std::vector<std::string> UnitSimulator::DataLines() const { return m_dataLines; }

bool UnitSimulator::SentFinish() const { return m_bSentFinish; }

int UnitSimulator::CountReceived(std::string_view text) const
{
    const auto it = m_commandCounts.find(text);
    if (it != m_commandCounts.end())
        return it->second;
    if (text == "A" || text == "B" || text == "C" || text == WAKE_FIRST_TEXT ||
        text == WAKE_SECOND_TEXT)
        return 0;
    return CountOccurrences(m_strReceived, text);
}

std::vector<UnitSimulator::Reply> UnitSimulator::Receive(std::string_view bytes)
{
    m_strReceived.append(bytes);
    m_strPending.append(bytes);
    std::vector<Reply> replies;
    m_bKeepAliveQueued = false; // one keep-alive answers all commands of one text
    while (ProcessPending(&replies)) {
    }
    return replies;
}

// Takes one item from the front of the unread text; false when it must wait for more.
bool UnitSimulator::ProcessPending(std::vector<Reply>* pReplies)
{
    if (m_strPending.empty())
        return false;
    if (m_state == State::Mute) {
        m_strPending.clear(); // a unit that has stopped hears nothing
        return false;
    }
    for (const std::string_view token : {std::string_view(WAKE_FIRST_TEXT),
                                         std::string_view(WAKE_SECOND_TEXT)}) {
        if (StartsWith(m_strPending, token)) {
            m_strPending.erase(0, token.size());
            OnWakeText(std::string(token), pReplies);
            return true;
        }
        if (token.substr(0, m_strPending.size()) == m_strPending)
            return false; // the start of a wake-up text: wait for the rest
    }
    const char first = m_strPending.front();
    if (first == 'A' || first == 'B' || first == 'C') {
        m_strPending.erase(0, 1);
        OnCommand(first, pReplies);
        return true;
    }
    if (m_state != State::Programming) {
        m_strPending.erase(0, 1); // no data line expected: skip the byte
        return true;
    }
    const std::string_view lineEnd = LINE_END_TEXT;
    if (m_strPending.size() < lineEnd.size() ||
        m_strPending.compare(m_strPending.size() - lineEnd.size(), lineEnd.size(), lineEnd) != 0)
        return false;
    const std::string line = m_strPending.substr(0, m_strPending.size() - lineEnd.size());
    m_strPending.clear();
    OnDataLine(line, pReplies);
    return true;
}

void UnitSimulator::OnWakeText(const std::string& token, std::vector<Reply>* pReplies)
{
    ++m_commandCounts[token];
    if (!m_bWakeInLoader && m_state != State::Asleep)
        return; // in its bootloader already, and deaf to the wake-up
    if (token == WAKE_FIRST_TEXT) {
        m_bWakeArmed = true;
        return;
    }
    if (!m_bWakeArmed)
        return;
    m_bWakeArmed = false;
    m_state = State::Identified;
    m_nLineInRun = 0;
    m_bRunFaulted = false;
    if (m_bGarbage)
        pReplies->push_back({GARBAGE_BYTES, 0});
    pReplies->push_back({IdentificationText(m_id), 0});
}

void UnitSimulator::OnCommand(char command, std::vector<Reply>* pReplies)
{
    ++m_commandCounts[std::string(1, command)];
    m_bWakeArmed = false;
    if (m_state == State::Asleep)
        return;
    if (command == 'C') {
        // A whole run installs the new application, which the unit reports from now on.
        if (m_state == State::Programming && m_nLineInRun > 0 && !m_bRunFaulted) {
            m_id.appMajor = m_id.appAfterMajor;
            m_id.appMinor = m_id.appAfterMinor;
        }
        if (m_bMuteAtFinish) {
            m_state = State::Mute;
            return;
        }
        pReplies->push_back({FINISH_TEXT, FINISH_DELAY_MS});
        m_bSentFinish = true;
        m_state = State::Asleep;
        return;
    }
    if (command == 'A')
        m_state = State::Programming;
    if (!m_bKeepAliveQueued)
        pReplies->push_back({KEEP_ALIVE_TEXT, KEEP_ALIVE_DELAY_MS});
    m_bKeepAliveQueued = true;
}

void UnitSimulator::OnDataLine(const std::string& line, std::vector<Reply>* pReplies)
{
    m_dataLines.push_back(line);
    ++m_nLineInRun;
    if (m_nSilentAt > 0 && m_nLineInRun >= m_nSilentAt) {
        m_bRunFaulted = true;
        m_state = State::Asleep; // silent until the next wake-up
        return;
    }
    const bool bCorrupt = m_nCorruptAt > 0 && m_nLineInRun == m_nCorruptAt;
    m_bRunFaulted = m_bRunFaulted || bCorrupt;
    pReplies->push_back({bCorrupt ? CORRUPT_TEXT : ACK_TEXT, 0});
}
