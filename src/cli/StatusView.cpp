#include "cli/StatusView.h"

#include <algorithm>

namespace {
const char* const CLEAR_TO_END = "\x1b[J";
const char* const CLEAR_LINE = "\x1b[2K";
} // namespace

CStatusView::CStatusView(std::FILE* out, bool bTerminal, int columns)
    : m_out(out), m_bTerminal(bTerminal), m_nColumns(std::max(columns, 20))
{
}

void CStatusView::Message(const std::string& text)
{
    if (m_bPaused)
        std::fputc('\n', m_out); // below the question that waits for its answer
    EraseBlock();
    std::fputs(text.c_str(), m_out);
    std::fputc('\n', m_out);
    WriteBlock();
    std::fflush(m_out);
}

void CStatusView::Draw(const std::vector<std::string>& lines)
{
    if (!m_bTerminal)
        return;
    EraseBlock();
    m_block = lines;
    WriteBlock();
    std::fflush(m_out);
}

void CStatusView::Ask(const std::string& text)
{
    EraseBlock();
    m_bPaused = true;
    std::fputs(text.c_str(), m_out);
    std::fflush(m_out);
}

void CStatusView::Resume()
{
    m_bPaused = false;
    WriteBlock();
    std::fflush(m_out);
}

void CStatusView::Release()
{
    m_nDrawnLines = 0;
    m_block.clear();
}

void CStatusView::EraseBlock()
{
    if (!m_bTerminal || m_nDrawnLines == 0)
        return;
    std::fprintf(m_out, "\x1b[%dF", m_nDrawnLines); // to the start of the block's first line
    std::fputs(CLEAR_TO_END, m_out);
    m_nDrawnLines = 0;
}

void CStatusView::WriteBlock()
{
    if (!m_bTerminal || m_bPaused)
        return;
    // A line as wide as the terminal would wrap and break the count of lines to redraw.
    const std::size_t width = static_cast<std::size_t>(m_nColumns - 1);
    for (const std::string& line : m_block) {
        std::fputs(CLEAR_LINE, m_out);
        std::fputs(line.substr(0, width).c_str(), m_out);
        std::fputc('\n', m_out);
    }
    m_nDrawnLines = static_cast<int>(m_block.size());
}

bool IsLiveTerminal(bool bTerminal, const char* noColor, const char* term)
{
    const bool bNoColor = noColor != nullptr && noColor[0] != '\0';
    const bool bDumb = term != nullptr && std::string(term) == "dumb";
    return bTerminal && !bNoColor && !bDumb;
}

std::string ProgressBar(int value, int max, int width)
{
    const int filled = max > 0 ? std::clamp(value, 0, max) * width / max : 0;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(width - filled), '.') + "]";
}
