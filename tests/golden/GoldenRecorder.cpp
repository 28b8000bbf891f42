#include "GoldenRecorder.h"

#include "platform/SupportLog.h"

#include <sstream>

namespace {

const char* const RESULT_NAMES[] = {"Verified", "NotVerified", "NoVersion", "Corrupt",
                                    "Silent",   "Empty",       "Interrupted"};

// The bytes of a support log entry's text ("\r", "\\", "\xNN" as the log escapes them).
std::string Unescape(std::string_view text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            bytes += text[i];
            continue;
        }
        const char kind = text[++i];
        if (kind == 'x') {
            bytes += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            bytes += kind == 'r' ? '\r' : kind == 'n' ? '\n' : kind == 't' ? '\t' : kind;
        }
    }
    return bytes;
}

} // namespace

std::string CGoldenRecorder::Quote(const std::string& text)
{
    return "\"" + CSupportLog::Escape(text.data(), text.size()) + "\"";
}

void CGoldenRecorder::Write(const std::string& line)
{
    std::string text = line;
    for (const auto& [from, to] : m_aliases)
        for (std::size_t at = text.find(from); !from.empty() && at != std::string::npos;
             at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    m_strText += text + "\n";
}

void CGoldenRecorder::Event(const std::string& line)
{
    ReadLog();
    Write(line);
}

void CGoldenRecorder::BeginStep(const std::string& title, const std::string& cause)
{
    ReadLog();
    m_strCause = cause;
    Write("");
    Write("> " + title);
}

void CGoldenRecorder::EndStep()
{
    ReadLog();
    Write("  controls: " + m_strControls);
}

std::string CGoldenRecorder::TakeSentBytes()
{
    ReadLog();
    return std::exchange(m_strSent, {});
}

void CGoldenRecorder::OnUnitWrite(std::string_view bytes)
{
    ReadLog();
    const std::string text(bytes);
    m_strSent += text;
    // A data line was written down when the log traced it.
    if (!m_strDataLine.empty() && text == m_strDataLine + "aa") {
        m_strDataLine.clear();
        return;
    }
    Write("  unit <- " + Quote(text) + "  [" + m_strCause + "]");
}

// The log's entries since the last reading, without their timestamps: the data lines, and
// every entry but the bytes exchanged with the unit, which the link's writes and the
// scenario's own steps show.
// A data line's entry stays the newest one until the next entry is made, so entries are
// counted by their place.
void CGoldenRecorder::ReadLog()
{
    std::istringstream session(m_log.SessionText());
    std::string entry;
    std::size_t nEntry = 0;
    while (std::getline(session, entry)) {
        if (nEntry++ < m_nEntriesRead)
            continue;
        const std::size_t kindAt = entry.find(' ', entry.find(' ') + 1) + 1; // after date and time
        const std::string rest = entry.substr(kindAt);
        const std::string kind = rest.substr(0, rest.find(' '));
        const std::string text = rest.substr(kind.size() + 1);
        if (kind == "line") {
            const std::string line = text.substr(text.find(": ") + 2);
            const std::string escaped = line.substr(0, line.find(" \""));
            m_strDataLine = Unescape(escaped);
            Write("  unit <- \"" + escaped + "aa\"  [" + m_strCause + "]  (data line)");
        } else if (kind != "sent" && kind != "recv" && kind != "keepalive") {
            Write("  log: " + rest);
        }
    }
    m_nEntriesRead = nEntry;
}

void CGoldenRecorder::OnLogLine(const std::string& text)
{
    Event("  status: " + Quote(text));
}

void CGoldenRecorder::OnClearLog()
{
    Event("  status cleared");
}

void CGoldenRecorder::OnActivity()
{
    Event("  status: (activity line)");
}

void CGoldenRecorder::OnWebStatus(const std::string& text, bool bNewLine)
{
    Event(std::string("  web status ") + (bNewLine ? "new line " : "replaced by ") + Quote(text));
}

void CGoldenRecorder::OnProgressRange(int nMax) { Event("  progress range " + std::to_string(nMax)); }

void CGoldenRecorder::OnProgress(int nValue) { Event("  progress " + std::to_string(nValue)); }

void CGoldenRecorder::OnNotice(const std::string& text)
{
    Event("  NOTICE " + Quote(text));
}

void CGoldenRecorder::OnDiagnosis(const std::string& sentence)
{
    Event("  diagnosis " + Quote(sentence));
}

void CGoldenRecorder::OnMessageBox(const std::string& text)
{
    Event("  MESSAGE BOX " + Quote(text));
}

void CGoldenRecorder::OnIdentified(const DeviceIdentity& id)
{
    Event("  identified: model " + id.m_strModel + ", loader " + id.m_strLoaderVersion + ", app " +
          id.m_strAppVersion + ", serial " + id.m_strSerialNumber);
}

void CGoldenRecorder::OnEchoEnded(bool bPassed)
{
    Event(std::string("  echo test ended: ") + (bPassed ? "passed" : "failed"));
}

void CGoldenRecorder::OnProgrammingSucceeded(const std::vector<std::string>& lines)
{
    Event("  programming succeeded (" + std::to_string(lines.size()) + " lines said)");
}

void CGoldenRecorder::OnUpdateEnded(const UpdateOutcome& outcome)
{
    Event(std::string("  update ended: ") + RESULT_NAMES[static_cast<int>(outcome.result)] + ", " +
          Quote(outcome.strText) + ", lines " + std::to_string(outcome.nLinesSent) + "/" +
          std::to_string(outcome.nTotalLines) + ", image version " +
          Quote(outcome.strImageVersion) + (outcome.bNoticeShown ? ", as a notice" : ", status only"));
}

void CGoldenRecorder::OnPortOpened(const std::string& name, bool bRemember)
{
    Event("  port opened: " + name + (bRemember ? " (remembered)" : ""));
}

void CGoldenRecorder::OnPortChoiceDropped(bool bForget)
{
    Event(std::string("  port choice dropped") + (bForget ? " (saved name forgotten)" : ""));
}
