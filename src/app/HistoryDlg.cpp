#include "app/HistoryDlg.h"

#include "platform/UpdateHistory.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <fstream>

namespace {
constexpr int DIALOG_WIDTH_PX = 900;
constexpr int DIALOG_HEIGHT_PX = 360;
// The result comes before the versions, so that it is in sight at the dialog's first width.
const char* const COLUMNS[] = {"Time (UTC)",    "Model",        "Serial",
                               "Result",        "Loader before", "Loader after",
                               "Application before", "Application after", "Image",
                               "Lines sent",    "By",           "Source"};

std::vector<std::string> Cells(const UpdateRecord& r)
{
    return {r.strTime,
            r.strModel,
            r.strSerial,
            RecordResultText(r),
            r.strLoaderBefore,
            r.strLoaderAfter,
            r.strAppBefore,
            r.strAppAfter,
            r.strImageVersion,
            std::to_string(r.nLinesSent) + " of " + std::to_string(r.nTotalLines),
            r.strFace,
            r.strImageSource};
}

// A CSV cell: quoted when it holds a separator, a quote or a line end.
std::string CsvCell(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (const char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}
} // namespace

CHistoryDlg::CHistoryDlg(const std::vector<UpdateRecord>& records, const std::string& note, QWidget* pParent)
    : QDialog(pParent)
{
    setWindowTitle(QStringLiteral("Update History"));
    setObjectName(QStringLiteral("HistoryDialog"));
    resize(DIALOG_WIDTH_PX, DIALOG_HEIGHT_PX);
    auto* layout = new QVBoxLayout(this);
    m_pNote = new QLabel(QString::fromStdString(note), this);
    m_pNote->setObjectName(QStringLiteral("HistoryNote"));
    m_pNote->setWordWrap(true);
    layout->addWidget(m_pNote);

    const int nColumns = static_cast<int>(std::size(COLUMNS));
    m_pTable = new QTableWidget(static_cast<int>(records.size()), nColumns, this);
    m_pTable->setObjectName(QStringLiteral("HistoryTable"));
    m_pTable->setAccessibleName(QStringLiteral("Updates, newest first"));
    // Read with the table when it takes the focus: how many updates, and what could not be read.
    m_pTable->setAccessibleDescription(QString::fromStdString(note));
    // Tab leaves the table for the buttons; the arrow keys walk its cells.
    m_pTable->setTabKeyNavigation(false);
    QStringList headings;
    for (const char* heading : COLUMNS)
        headings << QString::fromLatin1(heading);
    m_pTable->setHorizontalHeaderLabels(headings);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->verticalHeader()->setVisible(false);
    for (int row = 0; row < static_cast<int>(records.size()); ++row) {
        const std::vector<std::string> cells = Cells(records[static_cast<std::size_t>(row)]);
        for (int column = 0; column < nColumns; ++column)
            m_pTable->setItem(row, column,
                              new QTableWidgetItem(QString::fromStdString(cells[static_cast<std::size_t>(column)])));
    }
    m_pTable->resizeColumnsToContents();
    m_pNote->setBuddy(m_pTable);
    layout->addWidget(m_pTable);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* copy = buttons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("Copy"));
    copy->setAccessibleDescription(QStringLiteral("Copies the table, tab-separated, to the clipboard"));
    auto* exportButton = buttons->addButton(QStringLiteral("&Export\u2026"), QDialogButtonBox::ActionRole);
    exportButton->setObjectName(QStringLiteral("Export"));
    exportButton->setAccessibleDescription(QStringLiteral("Saves the table as a CSV file"));
    connect(copy, &QPushButton::clicked, this, [this] { OnCopy(); });
    connect(exportButton, &QPushButton::clicked, this, [this] { OnExport(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // The button box hands the focus it is given to its first button: Tab from Export… would go
    // to the box, and so back to Copy, and never on to Close and the table.
    buttons->setFocusProxy(nullptr);
    m_pTable->setFocus();
}

void CHistoryDlg::ShowHistory(const CUpdateHistory& history, QWidget* pParent)
{
    HistoryContent content;
    std::string error;
    const bool bRead = LoadHistory(history, {}, content, error);
    CHistoryDlg dialog(content.records, NoteFor(history, content, bRead, error), pParent);
    dialog.exec();
}

std::string CHistoryDlg::NoteFor(const CUpdateHistory& history, const HistoryContent& content, bool bRead,
                                 const std::string& error)
{
    if (!bRead)
        return "The update history " + history.Path() + " cannot be read: " + error + ".";
    if (content.records.empty() && content.nUnreadableLines == 0)
        return "No updates are recorded yet.";
    return HistorySummary(content) + ". Newest first, from " + history.Path() + ".";
}

std::string CHistoryDlg::TableText(char separator) const
{
    auto cell = [separator](const std::string& text) { return separator == ',' ? CsvCell(text) : text; };
    std::string text;
    for (int column = 0; column < m_pTable->columnCount(); ++column)
        text += (column > 0 ? std::string(1, separator) : std::string()) +
                cell(m_pTable->horizontalHeaderItem(column)->text().toStdString());
    text += '\n';
    for (int row = 0; row < m_pTable->rowCount(); ++row) {
        for (int column = 0; column < m_pTable->columnCount(); ++column)
            text += (column > 0 ? std::string(1, separator) : std::string()) +
                    cell(m_pTable->item(row, column)->text().toStdString());
        text += '\n';
    }
    return text;
}

void CHistoryDlg::OnCopy()
{
    QGuiApplication::clipboard()->setText(QString::fromStdString(TableText('\t')));
}

void CHistoryDlg::OnExport()
{
    QFileDialog dialog(this, QStringLiteral("Export Update History"), QStringLiteral("kestova-history.csv"),
                       QStringLiteral("CSV files (*.csv);;All files (*)"));
    dialog.setObjectName(QStringLiteral("HistoryExportDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    std::string error;
    const std::string path = dialog.selectedFiles().front().toStdString();
    if (!ExportCsv(path, error))
        QMessageBox::warning(this, QStringLiteral("Kestova"),
                             QString::fromStdString("The history could not be written to " + path + ": " + error));
}

bool CHistoryDlg::ExportCsv(const std::string& path, std::string& error) const
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << TableText(',');
    file.close();
    if (!file) {
        error = "the file cannot be written";
        return false;
    }
    return true;
}
