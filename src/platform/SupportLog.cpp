#include "platform/SupportLog.h"

#include "platform/LogFileWriter.h"
#include "platform/UserDirs.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

// The session kept in memory never outgrows what the rotated files can hold.
constexpr int SESSION_FILES_KEPT = CSupportLog::MAX_FILES;
// The share of the session's memory that keeps its beginning; the rest keeps its newest part.
constexpr std::size_t SESSION_HEAD_SHARE = 4;
// The newest part is kept in about this many blocks, the oldest of which goes as a whole.
constexpr std::size_t SESSION_TAIL_BLOCKS = 16;
// Room kept for the line that says how much was left out.
constexpr std::size_t LEFT_OUT_LINE_BYTES = 100;
// The session's memory is kept in blocks of about this size, filled and never grown (a string
// that grows by doubling would for a moment hold its text three times over).
constexpr std::size_t SESSION_BLOCK_BYTES = 16u * 1024u;
// The most of the unit's answer that joins a data line's entry; more is traced on its own.
constexpr std::size_t MAX_REPLY_BYTES = 16;

void AddToBlocks(std::deque<std::string>& blocks, const std::string& line, std::size_t blockBytes)
{
    if (blocks.empty() || blocks.back().size() + line.size() > blockBytes) {
        blocks.emplace_back();
        blocks.back().reserve(std::max(blockBytes, line.size()));
    }
    blocks.back() += line;
}

std::string FormatTimestamp(std::chrono::system_clock::time_point now)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                            now.time_since_epoch()).count() % 1000;
    std::tm local {};
    localtime_r(&seconds, &local);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + n, sizeof text - n, ".%03d", static_cast<int>(millis));
    return text;
}

// "<link>: <text>", or the text alone for an entry of the whole session.
std::string Tagged(const std::string& link, const std::string& text)
{
    return link.empty() ? text : link + ": " + text;
}

// What a keep-alive exchanges, whatever pieces it arrives in: each byte once, in order.
std::string ExchangeOf(const char* data, std::size_t count)
{
    std::string what;
    for (std::size_t i = 0; i < count; ++i)
        if (what.find(data[i]) == std::string::npos)
            what += data[i];
    return what;
}

std::string Outcome(unsigned long errorCode, const std::string& detail)
{
    if (errorCode == 0)
        return detail.empty() ? "ok" : "ok (" + detail + ")";
    std::string text = "error " + std::to_string(errorCode);
    return detail.empty() ? text : text + ": " + detail;
}

} // namespace

CSupportLog::CSupportLog(std::string path, std::uintmax_t maxFileBytes, WriteFunction write)
    : m_strPath(std::move(path)), m_nMaxFileBytes(maxFileBytes),
      m_pWriter(write ? std::make_unique<CLogFileWriter>(
                            m_strPath, maxFileBytes,
                            static_cast<std::size_t>(
                                std::min<std::uintmax_t>(OPENING_BYTES, maxFileBytes / 4)),
                            std::move(write))
                      : std::make_unique<CLogFileWriter>(
                            m_strPath, maxFileBytes,
                            static_cast<std::size_t>(
                                std::min<std::uintmax_t>(OPENING_BYTES, maxFileBytes / 4)))),
      m_now([] { return Clock::now(); })
{
}

CSupportLog::~CSupportLog()
{
    Flush();
    m_pWriter->SetFailureHandler({});
}

void CSupportLog::SetFailureHandler(std::function<void(const std::string& why)> handler)
{
    m_pWriter->SetFailureHandler(std::move(handler));
}

void CSupportLog::SetClock(std::function<Clock::time_point()> now)
{
    const std::lock_guard lock(m_mutex);
    m_now = std::move(now);
}

std::string CSupportLog::Timestamp() const
{
    return FormatTimestamp(m_now());
}

std::string CSupportLog::DefaultPath()
{
    const std::string base = XdgStateHome();
    return base.empty() ? std::string() : base + "/kestova/downloader.log";
}

bool CSupportLog::IsWritingFile() const
{
    return m_pWriter->IsWriting();
}

std::string CSupportLog::LastError() const
{
    return m_pWriter->LastError();
}

std::uint64_t CSupportLog::FileWriteCount() const
{
    return m_pWriter->WriteCount();
}

void CSupportLog::Status(const std::string& text, const std::string& link)
{
    m_pWriter->TellFailure(); // one that the writer met since the last entry
    {
        // The status list shows each data line as it is sent; its trace entry holds it.
        const std::lock_guard lock(m_mutex);
        for (auto& [lineLink, pending] : m_pending) {
            if ((link.empty() || link == lineLink) && !pending.bStatusSeen && text == pending.strLine) {
                pending.bStatusSeen = true;
                return;
            }
        }
    }
    Append("status", Escape(text.data(), text.size()), link);
}

void CSupportLog::Notice(const std::string& text)
{
    Append("notice", Escape(text.data(), text.size()));
    // A notice tells of a failure, or asks the user something: it is on disk at once. A line
    // another link has in flight is not cut from its reply for it.
    FlushEntriesMade();
}

void CSupportLog::LinkOpened(const std::string& link, unsigned long errorCode,
                             const std::string& detail)
{
    Append("open", Outcome(errorCode, detail), link);
    if (errorCode != 0)
        FlushEntriesMade();
}

void CSupportLog::LinkClosed(const std::string& link, unsigned long errorCode,
                             const std::string& detail)
{
    Append("close", Outcome(errorCode, detail), link);
    if (errorCode != 0)
        FlushEntriesMade();
}

void CSupportLog::Note(const std::string& text) { Append("note", text); }

void CSupportLog::LinkNote(const std::string& link, const std::string& note)
{
    Append("link", note, link);
}

void CSupportLog::Bytes(EDirection direction, const void* data, std::size_t count,
                        const std::string& link)
{
    m_pWriter->TellFailure(); // one that the writer met since the last entry
    if (direction == EDirection::FromUnit) {
        const std::lock_guard lock(m_mutex);
        const auto it = m_pending.find(link);
        if (it != m_pending.end() && it->second.strReply.size() + count <= MAX_REPLY_BYTES) {
            it->second.strReply.append(static_cast<const char*>(data), count);
            return;
        }
    }
    const char* kind = direction == EDirection::ToUnit ? "sent" : "recv";
    Append(kind, std::to_string(count) + " bytes \"" + Escape(data, count) + "\"", link);
}

void CSupportLog::KeepAlive(EDirection direction, const void* data, std::size_t count,
                            const std::string& link)
{
    m_pWriter->TellFailure(); // one that the writer met since the last entry
    const auto* bytes = static_cast<const char*>(data);
    const bool bToUnit = direction == EDirection::ToUnit;
    const std::lock_guard lock(m_mutex);
    WritePendingLocked(link);
    const Clock::time_point now = m_now();
    const auto found = m_keepAlive.find(link);
    KeepAliveCount& keep =
        found != m_keepAlive.end() ? found->second : m_keepAlive.emplace(link, KeepAliveCount{}).first->second;
    if (found == m_keepAlive.end())
        keep.since = now;
    if (keep.nSent + keep.nReceivedBytes > 0 && now - keep.since >= KEEP_ALIVE_PERIOD_S) {
        AppendLocked(KeepAliveEntry(link, keep));
        keep.nSent = keep.nReceivedBytes = 0;
        keep.since = now;
    }
    std::string& known = bToUnit ? keep.strSent : keep.strReceived;
    const std::string what = ExchangeOf(bytes, count);
    if (what == known) {
        (bToUnit ? keep.nSent : keep.nReceivedBytes) += bToUnit ? 1 : count;
        return;
    }
    // What the keep-alive exchanges has changed (or begins): the entry shows it as it is.
    if (keep.nSent + keep.nReceivedBytes > 0)
        AppendLocked(KeepAliveEntry(link, keep));
    keep.nSent = keep.nReceivedBytes = 0;
    keep.since = now;
    known = what;
    AppendLocked(Timestamp() + " keepalive " +
                 Tagged(link, std::string(bToUnit ? "sent " : "recv ") + std::to_string(count) +
                                  " bytes \"" + Escape(bytes, count) + "\"") +
                 "\n");
}

void CSupportLog::DataLine(const std::string& line, const std::string& link)
{
    m_pWriter->TellFailure(); // one that the writer met since the last entry
    PendingLine pending;
    pending.strTimestamp = Timestamp();
    pending.strLine = line;
    const std::lock_guard lock(m_mutex);
    WriteHeldLocked(link, true);
    m_pending[link] = std::move(pending);
}

void CSupportLog::LineAnswered(const std::string& link)
{
    m_pWriter->TellFailure(); // one that the writer met since the last entry
    const std::lock_guard lock(m_mutex);
    WritePendingLocked(link);
}

void CSupportLog::Flush()
{
    m_pWriter->TellFailure(); // one that the writer met since the last entry
    {
        const std::lock_guard lock(m_mutex);
        WriteHeldLocked({}, false);
        while (!m_pending.empty())
            WritePendingLocked(m_pending.begin()->first);
    }
    m_pWriter->Flush();
}

void CSupportLog::FlushEntriesMade() { m_pWriter->Flush(); }

std::string CSupportLog::SessionText() const
{
    const std::lock_guard lock(m_mutex);
    std::string text;
    for (const std::string& block : m_sessionHead)
        text += block;
    if (m_nLeftOutBytes > 0)
        text += "... " + std::to_string(m_nLeftOutBytes) +
                " bytes of this session left out here; the log file keeps them ...\n";
    for (const std::string& block : m_sessionTail)
        text += block;
    for (const auto& [link, pending] : m_pending)
        text += PendingEntry(link, pending);
    return text;
}

// The first entries stay; after them, only the newest ones, so that a long update costs
// bounded memory. Whole blocks of the oldest entries go at once, never line by line.
void CSupportLog::KeepInSession(const std::string& line)
{
    const std::size_t budget = static_cast<std::size_t>(
        std::min<std::uintmax_t>(SESSION_MEMORY_BYTES, SESSION_FILES_KEPT * m_nMaxFileBytes));
    const std::size_t headBudget = budget / SESSION_HEAD_SHARE;
    const std::size_t tailBudget =
        budget - headBudget - std::min(LEFT_OUT_LINE_BYTES, (budget - headBudget) / 2);
    const std::size_t blockBytes =
        std::clamp<std::size_t>(tailBudget / SESSION_TAIL_BLOCKS, 1, SESSION_BLOCK_BYTES);
    if (m_sessionTail.empty() && m_nHeadBytes + line.size() <= headBudget) {
        AddToBlocks(m_sessionHead, line, blockBytes);
        m_nHeadBytes += line.size();
        return;
    }
    AddToBlocks(m_sessionTail, line, blockBytes);
    m_nTailBytes += line.size();
    while (m_nTailBytes > tailBudget && m_sessionTail.size() > 1) {
        m_nTailBytes -= m_sessionTail.front().size();
        m_nLeftOutBytes += m_sessionTail.front().size();
        m_sessionTail.pop_front();
    }
}

std::string CSupportLog::Escape(const void* data, std::size_t count)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::string text;
    text.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char c = bytes[i];
        if (c == '\\') {
            text += "\\\\";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\t') {
            text += "\\t";
        } else if (c >= 0x20 && c < 0x7f) {
            text += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        }
    }
    return text;
}

void CSupportLog::Append(const char* kind, const std::string& text, const std::string& link)
{
    m_pWriter->TellFailure(); // one that the writer met since the last entry
    const std::string line = Timestamp() + " " + kind + " " + Tagged(link, text) + "\n";
    const std::lock_guard lock(m_mutex);
    WriteHeldLocked(link, !link.empty());
    AppendLocked(line);
}

void CSupportLog::AppendLocked(const std::string& line)
{
    KeepInSession(line);
    m_pWriter->Append(line);
}

// Before an entry of a link, what that link held back; before an entry of the session, every
// link's keep-alive count. A data line waits for its own link's next entry (or Flush), however
// many entries of the session or of other links come while its reply arrives. A link's own
// entry ends its keep-alive, which begins anew after it.
void CSupportLog::WriteHeldLocked(const std::string& link, bool bEndKeepAlive)
{
    for (auto it = m_keepAlive.begin(); it != m_keepAlive.end();) {
        if (!link.empty() && it->first != link) {
            ++it;
            continue;
        }
        KeepAliveCount& keep = it->second;
        if (keep.nSent + keep.nReceivedBytes > 0)
            AppendLocked(KeepAliveEntry(it->first, keep));
        keep.nSent = keep.nReceivedBytes = 0;
        keep.since = m_now();
        it = bEndKeepAlive ? m_keepAlive.erase(it) : std::next(it);
    }
    if (!link.empty())
        WritePendingLocked(link);
}

// The data line traced last on the link becomes its entry, with whatever the unit answered.
void CSupportLog::WritePendingLocked(const std::string& link)
{
    const auto it = m_pending.find(link);
    if (it == m_pending.end())
        return;
    const std::string entry = PendingEntry(link, it->second);
    m_pending.erase(it);
    AppendLocked(entry);
}

std::string CSupportLog::PendingEntry(const std::string& link, const PendingLine& pending) const
{
    return pending.strTimestamp + " line " +
           Tagged(link, Escape(pending.strLine.data(), pending.strLine.size())) + " \"" +
           Escape(pending.strReply.data(), pending.strReply.size()) + "\"\n";
}

// "keepalive ttyUSB0: 1140 sent, 1140 bytes received in 60.0 s".
std::string CSupportLog::KeepAliveEntry(const std::string& link, const KeepAliveCount& keep) const
{
    const double seconds =
        std::chrono::duration<double>(m_now() - keep.since).count();
    char span[32];
    std::snprintf(span, sizeof span, "%.1f s", seconds);
    return Timestamp() + " keepalive " +
           Tagged(link, std::to_string(keep.nSent) + " sent, " +
                            std::to_string(keep.nReceivedBytes) + " bytes received in " + span) +
           "\n";
}
