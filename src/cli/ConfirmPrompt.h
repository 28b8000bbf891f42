// A yes/no question on the terminal, answered on standard input while the event loop runs (the
// units are kept talking meanwhile). Only "y" or "yes" is a yes; end of input is a no.
#pragma once

#include <QSocketNotifier>

#include <functional>
#include <memory>
#include <string>

class CConfirmPrompt {
public:
    using AnswerFn = std::function<void(bool bYes)>;

    // Shows nothing itself: the caller has written the question.
    void Ask(AnswerFn fnAnswer);
    bool IsAsking() const { return m_pNotifier != nullptr; }

    // True for "y", "Y", "yes" (blanks around allowed).
    static bool IsYes(const std::string& line);

private:
    void OnReadable();
    void Answer(bool bYes);

    std::unique_ptr<QSocketNotifier> m_pNotifier;
    std::string m_strInput;
    AnswerFn m_fnAnswer;
};
