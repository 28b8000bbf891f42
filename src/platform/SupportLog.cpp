#include "platform/SupportLog.h"

#include "platform/UserDirs.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The session kept in memory never outgrows what the rotated files can hold.
constexpr int SESSION_FILES_KEPT = CSupportLog::MAX_FILES;
// The share of the session's memory that keeps its beginning; the rest keeps its newest part.
constexpr std::size_t SESSION_HEAD_SHARE = 4;
// The newest part is kept in about this many blocks, the oldest of which goes as a whole.
constexpr std::size_t SESSION_TAIL_BLOCKS = 16;
// Room kept for the line that says how much was left out.
constexpr std::size_t LEFT_OUT_LINE_BYTES = 100;

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
    : m_strPath(std::move(path)), m_nMaxFileBytes(maxFileBytes)
{
    const std::lock_guard lock(m_mutex);
    OpenFile();
}

std::string CSupportLog::DefaultPath()
{
    const std::string base = XdgStateHome();
    return base.empty() ? std::string() : base + "/kestova/downloader.log";
}

bool CSupportLog::IsWritingFile() const
{
    const std::lock_guard lock(m_mutex);
    return m_file.is_open();
}

std::string CSupportLog::LastError() const
{
    const std::lock_guard lock(m_mutex);
    return m_strError;
}

void CSupportLog::Status(const std::string& text)
{
    Append("status", Escape(text.data(), text.size()));
}

void CSupportLog::Notice(const std::string& text)
{
    Append("notice", Escape(text.data(), text.size()));
}

void CSupportLog::LinkOpened(const std::string& link, unsigned long errorCode,
                             const std::string& detail)
{
    Append("open", link + ": " + Outcome(errorCode, detail));
}

void CSupportLog::LinkClosed(const std::string& link, unsigned long errorCode,
                             const std::string& detail)
{
    Append("close", link + ": " + Outcome(errorCode, detail));
}

void CSupportLog::Note(const std::string& text) { Append("note", text); }

void CSupportLog::Bytes(EDirection direction, const void* data, std::size_t count)
{
    const char* kind = direction == EDirection::ToUnit ? "sent" : "recv";
    Append(kind, std::to_string(count) + " bytes \"" + Escape(data, count) + "\"");
}

std::string CSupportLog::SessionText() const
{
    const std::lock_guard lock(m_mutex);
    std::string text = m_strSessionHead;
    if (m_nLeftOutBytes > 0)
        text += "... " + std::to_string(m_nLeftOutBytes) +
                " bytes of this session left out here; the log file keeps them ...\n";
    for (const std::string& block : m_sessionTail)
        text += block;
    return text;
}

// The first entries stay; after them, only the newest ones, so that a long update costs
// bounded memory. Whole blocks of the oldest entries go at once, never line by line.
void CSupportLog::KeepInSession(const std::string& line)
{
    const std::size_t budget = static_cast<std::size_t>(
        std::min<std::uintmax_t>(SESSION_MEMORY_BYTES, SESSION_FILES_KEPT * m_nMaxFileBytes));
    const std::size_t headBudget = budget / SESSION_HEAD_SHARE;
    if (m_sessionTail.empty() && m_strSessionHead.size() + line.size() <= headBudget) {
        m_strSessionHead += line;
        return;
    }
    const std::size_t tailBudget =
        budget - headBudget - std::min(LEFT_OUT_LINE_BYTES, (budget - headBudget) / 2);
    const std::size_t blockBytes = std::max<std::size_t>(1, tailBudget / SESSION_TAIL_BLOCKS);
    if (m_sessionTail.empty() || m_sessionTail.back().size() + line.size() > blockBytes) {
        m_sessionTail.emplace_back();
        m_sessionTail.back().reserve(blockBytes);
    }
    m_sessionTail.back() += line;
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
    KeepInSession(line);
    if (!m_file.is_open())
        return;
    if (m_nFileBytes > 0 && m_nFileBytes + line.size() > m_nMaxFileBytes)
        RotateFiles();
    if (!m_file.is_open())
        return;
    m_file << line;
    m_file.flush();
    if (!m_file) {
        m_strError = "cannot write " + m_strPath;
        m_file.close();
        return;
    }
    m_nFileBytes += line.size();
}

void CSupportLog::OpenFile()
{
    if (m_strPath.empty()) {
        m_strError = "no folder for the support log (HOME is not set)";
        return;
    }
    std::error_code error;
    fs::create_directories(fs::path(m_strPath).parent_path(), error);
    m_nFileBytes = fs::file_size(m_strPath, error);
    if (error)
        m_nFileBytes = 0;
    if (m_nFileBytes >= m_nMaxFileBytes) {
        RotateFiles();
        return;
    }
    m_file.open(m_strPath, std::ios::binary | std::ios::app);
    if (!m_file.is_open())
        m_strError = "cannot open " + m_strPath + " for writing";
}

void CSupportLog::RotateFiles()
{
    m_file.close();
    std::error_code error;
    fs::remove(RotatedName(MAX_FILES - 1), error);
    for (int i = MAX_FILES - 2; i >= 0; --i)
        fs::rename(RotatedName(i), RotatedName(i + 1), error);
    m_nFileBytes = 0;
    m_file.open(m_strPath, std::ios::binary | std::ios::trunc);
    if (!m_file.is_open())
        m_strError = "cannot open " + m_strPath + " for writing";
}

std::string CSupportLog::RotatedName(int index) const
{
    return index == 0 ? m_strPath : m_strPath + "." + std::to_string(index);
}
