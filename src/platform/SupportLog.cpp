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

std::string Timestamp()
{
    const auto now = std::chrono::system_clock::now();
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

std::string Outcome(unsigned long errorCode, const std::string& detail)
{
    if (errorCode == 0)
        return detail.empty() ? "ok" : "ok (" + detail + ")";
    std::string text = "error " + std::to_string(errorCode);
    return detail.empty() ? text : text + ": " + detail;
}

} // namespace

CSupportLog::CSupportLog(std::string path, std::uintmax_t maxFileBytes)
    : m_strPath(std::move(path)), m_nMaxFileBytes(maxFileBytes),
      m_pWriter(std::make_unique<CLogFileWriter>(
          m_strPath, maxFileBytes,
          static_cast<std::size_t>(std::min<std::uintmax_t>(OPENING_BYTES, maxFileBytes / 4))))
{
}

CSupportLog::~CSupportLog()
{
    {
        const std::lock_guard lock(m_mutex);
        WritePendingLocked();
    }
    m_pWriter->Flush();
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

void CSupportLog::Status(const std::string& text)
{
    {
        // The status list shows each data line as it is sent; its trace entry holds it.
        const std::lock_guard lock(m_mutex);
        if (m_pPending && !m_pPending->bStatusSeen && text == m_pPending->strLine) {
            m_pPending->bStatusSeen = true;
            return;
        }
    }
    Append("status", Escape(text.data(), text.size()));
}

void CSupportLog::Notice(const std::string& text)
{
    Append("notice", Escape(text.data(), text.size()));
    Flush(); // a notice tells of a failure, or asks the user something: it is on disk at once
}

void CSupportLog::LinkOpened(const std::string& link, unsigned long errorCode,
                             const std::string& detail)
{
    Append("open", link + ": " + Outcome(errorCode, detail));
    if (errorCode != 0)
        Flush();
}

void CSupportLog::LinkClosed(const std::string& link, unsigned long errorCode,
                             const std::string& detail)
{
    Append("close", link + ": " + Outcome(errorCode, detail));
    if (errorCode != 0)
        Flush();
}

void CSupportLog::Note(const std::string& text) { Append("note", text); }

void CSupportLog::LinkNote(const std::string& link, const std::string& note)
{
    Append("link", link + ": " + note);
}

void CSupportLog::Bytes(EDirection direction, const void* data, std::size_t count,
                        const void* source)
{
    if (direction == EDirection::FromUnit) {
        const std::lock_guard lock(m_mutex);
        if (m_pPending && m_pPending->source == source &&
            m_pPending->strReply.size() + count <= MAX_REPLY_BYTES) {
            m_pPending->strReply.append(static_cast<const char*>(data), count);
            return;
        }
    }
    const char* kind = direction == EDirection::ToUnit ? "sent" : "recv";
    Append(kind, std::to_string(count) + " bytes \"" + Escape(data, count) + "\"");
}

void CSupportLog::DataLine(const std::string& line, const void* source)
{
    auto pPending = std::make_unique<PendingLine>();
    pPending->strTimestamp = Timestamp();
    pPending->strLine = line;
    pPending->source = source;
    const std::lock_guard lock(m_mutex);
    WritePendingLocked();
    m_pPending = std::move(pPending);
}

void CSupportLog::Flush()
{
    {
        const std::lock_guard lock(m_mutex);
        WritePendingLocked();
    }
    m_pWriter->Flush();
}

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
    if (m_pPending)
        text += m_pPending->strTimestamp + " line " +
                Escape(m_pPending->strLine.data(), m_pPending->strLine.size()) + " \"" +
                Escape(m_pPending->strReply.data(), m_pPending->strReply.size()) + "\"\n";
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

void CSupportLog::Append(const char* kind, const std::string& text)
{
    const std::string line = Timestamp() + " " + kind + " " + text + "\n";
    const std::lock_guard lock(m_mutex);
    WritePendingLocked();
    AppendLocked(line);
}

void CSupportLog::AppendLocked(const std::string& line)
{
    KeepInSession(line);
    m_pWriter->Append(line);
}

// The data line traced last becomes its entry, with whatever the unit answered to it.
void CSupportLog::WritePendingLocked()
{
    if (!m_pPending)
        return;
    const std::unique_ptr<PendingLine> pPending = std::move(m_pPending);
    AppendLocked(pPending->strTimestamp + " line " +
                 Escape(pPending->strLine.data(), pPending->strLine.size()) + " \"" +
                 Escape(pPending->strReply.data(), pPending->strReply.size()) + "\"\n");
}
