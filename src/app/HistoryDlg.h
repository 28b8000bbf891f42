// Update History…: the updates recorded on this account, newest first, in a table that can be
// copied to the clipboard (tab-separated) or exported as a CSV file.
#pragma once

#include "device/UpdateRecord.h"

#include <QDialog>

#include <string>
#include <vector>

class CUpdateHistory;
class QLabel;
class QTableWidget;

class CHistoryDlg : public QDialog {
    Q_OBJECT

public:
    // `records`: newest first, as LoadHistory gives them; `note`: a line above the table (why
    // the history could not be read, or where it is).
    CHistoryDlg(const std::vector<UpdateRecord>& records, const std::string& note, QWidget* pParent = nullptr);

    // Update History…: reads `history` (a history that cannot be read is said in the note, and
    // shows no rows) and shows it modally over `pParent`.
    static void ShowHistory(const CUpdateHistory& history, QWidget* pParent);
    // The line above the table: "8 updates recorded; 2 lines could not be read. Newest first,
    // from <path>.", or why the history cannot be read.
    static std::string NoteFor(const CUpdateHistory& history, const HistoryContent& content, bool bRead,
                               const std::string& error);

    // The heading and every row, cells apart by `separator` (CSV cells quoted where needed).
    std::string TableText(char separator) const;
    // Copy: the rows, tab-separated, to the clipboard.
    void OnCopy();
    // Export…: a CSV file the user names; false, with the reason, when it cannot be written.
    void OnExport();
    bool ExportCsv(const std::string& path, std::string& error) const;

    QTableWidget* Table() const { return m_pTable; }
    QLabel* Note() const { return m_pNote; }
    // The Result column's index.
    static constexpr int RESULT_COLUMN = 3;

private:
    QLabel* m_pNote;
    QTableWidget* m_pTable;
};
