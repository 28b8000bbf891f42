// The history of updates: one JSON text a line in $XDG_STATE_HOME/kestova/history.jsonl, appended
// whole by one write so that no reader (and no other program appending) ever sees half a record.
#pragma once

#include <functional>
#include <string>
#include <vector>

class CUpdateHistory {
public:
    // `path`: the file; empty when no folder for it is known (every append then fails).
    explicit CUpdateHistory(std::string path);

    // $XDG_STATE_HOME/kestova/history.jsonl (default ~/.local/state); empty without a home.
    static std::string DefaultPath();
    const std::string& Path() const { return m_strPath; }

    // Called the first time a record cannot be written, with the sentence that says so and
    // why; never again for this history, so a face can say it once and go on.
    void SetUnwritableHandler(std::function<void(const std::string&)> fnHandler)
    {
        m_fnUnwritable = std::move(fnHandler);
    }

    // Appends `line` (one JSON text, without its line end) as one whole line; the folder is
    // made when missing. False when it could not be written; the file is then left as it was.
    bool Append(const std::string& line);
    // The last failure's reason ("Permission denied"); empty after a success.
    const std::string& LastError() const { return m_strLastError; }

    // Every whole line of the file, oldest first (a last line without its end is left out).
    // False, with the reason in `error`, when the file exists but cannot be read; a missing
    // file is an empty history.
    bool ReadLines(std::vector<std::string>& lines, std::string& error) const;

private:
    bool Fail(const std::string& why);

    std::string m_strPath;
    std::string m_strLastError;
    std::function<void(const std::string&)> m_fnUnwritable;
    bool m_bFailureSaid = false;
};
