#include "app/DoctorDlg.h"

#include "KxVersion.h"
#include "doctor/Doctor.h"
#include "doctor/DoctorReport.h"
#include "doctor/DoctorService.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
constexpr int REPORT_WIDTH_CHARS = 88;
// Room beside the text for the icon, the margins and the scroll bar, in characters.
constexpr int ITEM_EXTRA_CHARS = 14;
constexpr int REPORT_LINES = 26;
const char* const STEP_INDENT = "      ";

struct Marking {
    const char* word;
    QStyle::StandardPixmap icon;
};

Marking MarkingOf(EDoctorStatus status)
{
    switch (status) {
    case EDoctorStatus::Pass: return {"OK", QStyle::SP_DialogApplyButton};
    case EDoctorStatus::Info: return {"Note", QStyle::SP_MessageBoxInformation};
    case EDoctorStatus::Warn: return {"Warning", QStyle::SP_MessageBoxWarning};
    case EDoctorStatus::Fail: return {"FAILED", QStyle::SP_MessageBoxCritical};
    case EDoctorStatus::Skipped: return {"Skipped", QStyle::SP_ArrowRight};
    }
    return {"", QStyle::SP_MessageBoxQuestion};
}

// Breaks a sentence at blanks into lines of at most `width` characters; a word longer than a
// line stays whole on a line of its own.
std::string WrapWords(const std::string& text, std::size_t width, const std::string& indent)
{
    std::string out;
    std::string line;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            out += line + "\n";
            line = indent;
        }
        line += (line.empty() || line == indent ? "" : " ") + word;
        start = end + 1;
    }
    return out + line;
}

// One check as a list item's text: its verdict word and text, wrapped at blanks, then what it
// follows from and its fix, each command on one line of its own, never broken.
std::string ItemText(const DoctorCheck& check)
{
    std::string text =
        WrapWords(std::string(MarkingOf(check.status).word) + ": " + check.name +
                      (check.subject.empty() ? "" : " " + check.subject) + ". " + check.text,
                  REPORT_WIDTH_CHARS, STEP_INDENT);
    if (!check.followsFrom.empty())
        text += "\n" + std::string(STEP_INDENT) + "Follows from: " + check.followsFrom + ".";
    const std::vector<std::string> fix = DoctorFixLines(check.fix);
    if (!fix.empty())
        text += "\n" + std::string(STEP_INDENT) + "Fix:";
    for (const std::string& step : fix)
        text += "\n" + std::string(STEP_INDENT) + "  " +
                (IsDoctorCommand(step)
                     ? step
                     : WrapWords(step, REPORT_WIDTH_CHARS, std::string(STEP_INDENT) + "    "));
    return text;
}

// The same as one line, for a screen reader.
QString SpokenText(const std::string& text) { return QString::fromStdString(text).simplified(); }
} // namespace

CDoctorDlg::CDoctorDlg(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(QStringLiteral("Check This Computer"));
    setObjectName(QStringLiteral("DoctorDlg"));
    m_pSummary = new QLabel(this);
    m_pSummary->setObjectName(QStringLiteral("DoctorSummary"));
    m_pSummary->setWordWrap(true);
    m_pSummary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_pSummary->setTextFormat(Qt::PlainText);
    m_pList = new QListWidget(this);
    m_pList->setObjectName(QStringLiteral("DoctorReport"));
    m_pList->setAccessibleName(QStringLiteral("Checks, failures first"));
    m_pList->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pList->setWordWrap(false);
    m_pList->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    const QFontMetrics metrics(m_pList->font());
    m_pList->setMinimumSize(
        metrics.horizontalAdvance(QString(REPORT_WIDTH_CHARS + ITEM_EXTRA_CHARS, QLatin1Char('x'))),
        metrics.lineSpacing() * REPORT_LINES);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_pAgain = buttons->addButton(QStringLiteral("Check &Again"), QDialogButtonBox::ActionRole);
    m_pAgain->setObjectName(QStringLiteral("DoctorAgain"));
    m_pCopy = buttons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole);
    m_pCopy->setObjectName(QStringLiteral("DoctorCopy"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pSummary);
    layout->addWidget(m_pList, 1);
    layout->addWidget(buttons);
    connect(m_pCopy, &QPushButton::clicked, this, [this] { OnCopy(); });
    connect(m_pAgain, &QPushButton::clicked, this, [this] { Run(m_machine); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
}

CDoctorDlg::~CDoctorDlg() = default;

void CDoctorDlg::Run(const DoctorMachine& machine)
{
    m_machine = machine;
    m_checks = RunMachineChecks(machine);
    m_pService = std::make_unique<CServiceCheck>();
    m_bServicePending =
        m_pService->Start(machine.serviceUrl, [this](const std::vector<DoctorCheck>& checks) {
            m_bServicePending = false;
            m_checks.insert(m_checks.end(), checks.begin(), checks.end());
            Show();
        });
    if (!m_bServicePending)
        m_checks.insert(m_checks.end(), m_pService->Checks().begin(), m_pService->Checks().end());
    Show();
}

QString CDoctorDlg::ReportText() const
{
    const DoctorHeader header =
        DoctorHeader::Of(m_machine, std::string("kestova-downloader ") + KX_VERSION);
    return QString::fromStdString(FormatDoctorText(header, m_checks, {}));
}

void CDoctorDlg::OnCopy() { QGuiApplication::clipboard()->setText(ReportText()); }

void CDoctorDlg::Show()
{
    std::string summary;
    for (const std::string& line : DoctorSummaryLines(m_checks))
        summary += (summary.empty() ? "" : "\n") + line;
    if (m_bServicePending)
        summary += "\nAsking the firmware service\u2026";
    m_pSummary->setText(QString::fromStdString(summary));
    const int row = m_pList->currentRow();
    m_pList->clear();
    for (const DoctorCheck& check : OrderDoctorChecks(m_checks, true)) {
        const std::string text = ItemText(check);
        auto* pItem = new QListWidgetItem(style()->standardIcon(MarkingOf(check.status).icon),
                                          QString::fromStdString(text), m_pList);
        pItem->setData(Qt::AccessibleTextRole, SpokenText(text));
    }
    m_pList->setCurrentRow(row >= 0 && row < m_pList->count() ? row : 0);
}
