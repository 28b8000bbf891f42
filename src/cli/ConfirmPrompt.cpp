#include "cli/ConfirmPrompt.h"

#include "platform/TerminalIo.h"

#include <QTimer>

#include <algorithm>
#include <cctype>

void CConfirmPrompt::Ask(AnswerFn fnAnswer)
{
    m_fnAnswer = std::move(fnAnswer);
    m_strInput.clear();
    m_pNotifier = std::make_unique<QSocketNotifier>(STDIN_FD, QSocketNotifier::Read);
    QObject::connect(m_pNotifier.get(), &QSocketNotifier::activated, m_pNotifier.get(),
                     [this] { OnReadable(); });
}

bool CConfirmPrompt::IsYes(const std::string& line)
{
    std::string word;
    for (const char c : line)
        if (!std::isspace(static_cast<unsigned char>(c)))
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word == "y" || word == "yes";
}

void CConfirmPrompt::OnReadable()
{
    const bool bOpen = ReadAvailable(STDIN_FD, m_strInput);
    const std::size_t end = m_strInput.find('\n');
    if (end != std::string::npos)
        Answer(IsYes(m_strInput.substr(0, end)));
    else if (!bOpen)
        Answer(IsYes(m_strInput));
}

void CConfirmPrompt::Answer(bool bYes)
{
    // The notifier is released after its signal has returned.
    QSocketNotifier* pDone = m_pNotifier.release();
    pDone->setEnabled(false);
    pDone->deleteLater();
    AnswerFn fnAnswer = std::move(m_fnAnswer);
    m_fnAnswer = nullptr;
    if (fnAnswer)
        fnAnswer(bYes);
}
