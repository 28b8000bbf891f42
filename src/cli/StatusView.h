// Writes what the user sees on standard error: messages as lines, and on a terminal a block of
// one status line per unit at the bottom, redrawn in place (messages scroll above it).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class CStatusView {
public:
    CStatusView(std::FILE* out, bool bTerminal, int columns);

    bool IsTerminal() const { return m_bTerminal; }
    int Columns() const { return m_nColumns; }
    // A line that stays: above the status block on a terminal.
    void Message(const std::string& text);
    // The status block (terminal only): one line per unit, cut to the terminal's width.
    void Draw(const std::vector<std::string>& lines);
    // A question without a line end; the block is not redrawn until Resume().
    void Ask(const std::string& text);
    void Resume();
    // The block stops being redrawn; what follows is written below it.
    void Release();

private:
    void EraseBlock();
    void WriteBlock();

    std::FILE* m_out;
    const bool m_bTerminal;
    const int m_nColumns;
    std::vector<std::string> m_block;
    int m_nDrawnLines = 0;
    bool m_bPaused = false;
};

// Whether standard error gets the redrawn status block, which moves the cursor: only on a
// terminal, and not when NO_COLOR is set (to anything but an empty text) or TERM is "dumb".
// `noColor` and `term` are the variables' values, null when unset.
bool IsLiveTerminal(bool bTerminal, const char* noColor, const char* term);

// "[#########...........]" with `width` cells between the brackets.
std::string ProgressBar(int value, int max, int width);
