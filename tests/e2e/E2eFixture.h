// End-to-end tests: the real main dialog, a simulated unit, programming files on disk.
#pragma once

#include "DialogFixture.h"
#include "SimulatedUnit.h"

#include <string>
#include <vector>

class E2eFixture : public DialogFixture {
protected:
    void TearDown() override;

    // Opens the port through the real port list: opens the list, picks the entry, closes it.
    void ChoosePortFromList(const std::string& portName);
    // The same, for a port that is expected not to open.
    void ChoosePortFromListExpectingNoLink(const std::string& portName);
    // Starts kx410-sim with the options, opens its port, waits for the identification and
    // opens an image of `dataLines` data lines: Send is ready.
    void StartUpdate(const QStringList& unitOptions, int dataLines);
    // Presses Send and returns the text of the notice that ends the run (answered with OK).
    std::string SendExpectingNotice();
    // Waits for the unit's identification; false on time-out.
    bool WaitForIdentified(int timeoutMs = 8000);
    // Writes a programming file with `dataLines` data lines (the last one the end record)
    // and returns its path; the data lines are returned through `pLines`.
    std::string WriteImageFile(int dataLines, std::vector<std::string>* pLines,
                               const std::string& name = "unit.fwr");
    // Opens the file through the real file dialog.
    void OpenLocalFile(const std::string& path);
    bool ListContains(const std::string& line) const;
    // The data lines the unit received (each was sent followed by "aa").
    static int CountOccurrences(const std::string& text, const std::string& what);

    CSimulatedUnit m_unit;
};
