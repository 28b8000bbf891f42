#include "app/DoctorDlg.h"

#include "doctor/Doctor.h"
#include "doctor/DoctorService.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int REPORT_WIDTH_CHARS = 90;
constexpr int REPORT_LINES = 24;
}

CDoctorDlg::CDoctorDlg(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(QStringLiteral("Check This Computer"));
    setObjectName(QStringLiteral("DoctorDlg"));
    m_pReport = new QPlainTextEdit(this);
    m_pReport->setObjectName(QStringLiteral("DoctorReport"));
    m_pReport->setReadOnly(true);
    m_pReport->setAccessibleName(QStringLiteral("Report"));
    m_pReport->setMinimumSize(fontMetrics().averageCharWidth() * REPORT_WIDTH_CHARS,
                              fontMetrics().lineSpacing() * REPORT_LINES);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_pCopy = buttons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole);
    m_pCopy->setObjectName(QStringLiteral("DoctorCopy"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pReport, 1);
    layout->addWidget(buttons);
    connect(m_pCopy, &QPushButton::clicked, this, [this] { OnCopy(); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
}

CDoctorDlg::~CDoctorDlg() = default;

void CDoctorDlg::Run(const DoctorMachine& machine)
{
    m_checks = RunMachineChecks(machine);
    m_pService = std::make_unique<CServiceCheck>();
    m_bServicePending = m_pService->Start(machine.serviceUrl, [this](const std::vector<DoctorCheck>& checks) {
        m_bServicePending = false;
        m_checks.insert(m_checks.end(), checks.begin(), checks.end());
        Show();
    });
    if (!m_bServicePending)
        m_checks.insert(m_checks.end(), m_pService->Checks().begin(), m_pService->Checks().end());
    Show();
}

QString CDoctorDlg::ReportText() const { return m_pReport->toPlainText(); }

void CDoctorDlg::OnCopy()
{
    QGuiApplication::clipboard()->setText(ReportText());
}

void CDoctorDlg::Show()
{
    std::string text = FormatDoctorText(m_checks);
    if (m_bServicePending)
        text += "Asking the firmware service\u2026\n";
    m_pReport->setPlainText(QString::fromStdString(text));
}
