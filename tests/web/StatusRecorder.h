// Stands in for the status list a web request's status texts go to: every text takes the place
// of the last line, as the window shows it, and every text is recorded, so a test sees the whole
// sequence even though each one replaces the last.
#pragma once

#include <functional>
#include <string>
#include <vector>

class CStatusRecorder {
public:
    // A line the caller adds, as the window adds one before a request.
    void AddLine(const std::string& strText)
    {
        m_lines.push_back(strText);
        m_texts.push_back(strText);
    }

    // The sink to give a session or a downloader.
    std::function<void(const std::string&)> Sink()
    {
        return [this](const std::string& strText) {
            if (m_lines.empty())
                m_lines.push_back(strText);
            else
                m_lines.back() = strText;
            m_texts.push_back(strText);
        };
    }

    const std::vector<std::string>& Lines() const { return m_lines; }
    const std::vector<std::string>& Texts() const { return m_texts; }

    // The texts that begin with strPrefix, in order.
    std::vector<std::string> TextsStartingWith(const std::string& strPrefix) const
    {
        std::vector<std::string> texts;
        for (const std::string& strText : m_texts)
            if (strText.rfind(strPrefix, 0) == 0)
                texts.push_back(strText);
        return texts;
    }

private:
    std::vector<std::string> m_lines;
    std::vector<std::string> m_texts;
};
