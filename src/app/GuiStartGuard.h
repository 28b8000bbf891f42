// Watches the start of the window's application: where no display can be reached, Qt would end
// the program with several lines of its own and an abort. While a guard lives, such an end is
// said in one line instead, with exit status 1; Qt's other messages are held and passed on
// when the guard goes, so that a start that works loses none of them.
#pragma once

class CGuiStartGuard {
public:
    CGuiStartGuard();
    ~CGuiStartGuard();
    CGuiStartGuard(const CGuiStartGuard&) = delete;
    CGuiStartGuard& operator=(const CGuiStartGuard&) = delete;
};
