#include "app/ServiceDlg.h"

#include "web/MultiWebRequest.h"
#include "web/ServiceUrl.h"
#include "web/WebFailure.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int ADDRESS_MIN_WIDTH_CHARS = 48;
constexpr int RESULT_LINES = 4;
}

CServiceDlg::CServiceDlg(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(QStringLiteral("Firmware Service"));
    setObjectName(QStringLiteral("ServiceDlg"));
    auto* prompt = new QLabel(
        QStringLiteral("Address of the firmware service that Get from Web asks (http:// or "
                       "https://). Leave it empty for none."),
        this);
    prompt->setWordWrap(true);
    m_pAddress = new QLineEdit(this);
    m_pAddress->setObjectName(QStringLiteral("ServiceAddress"));
    m_pAddress->setMinimumWidth(fontMetrics().averageCharWidth() * ADDRESS_MIN_WIDTH_CHARS);
    prompt->setBuddy(m_pAddress);
    m_pTest = new QPushButton(QStringLiteral("&Test"), this);
    m_pTest->setObjectName(QStringLiteral("ServiceTest"));
    m_pTest->setAutoDefault(false);
    m_pResult = new QLabel(this);
    m_pResult->setObjectName(QStringLiteral("ServiceResult"));
    m_pResult->setWordWrap(true);
    // Room for the longest answer (a failure's reason), so that none is cut.
    m_pResult->setMinimumHeight(fontMetrics().lineSpacing() * RESULT_LINES);
    m_pResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* addressRow = new QHBoxLayout;
    addressRow->addWidget(m_pAddress, 1);
    addressRow->addWidget(m_pTest);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addLayout(addressRow);
    layout->addWidget(m_pResult);
    layout->addStretch(1);
    layout->addWidget(buttons);

    connect(m_pTest, &QPushButton::clicked, this, [this] { OnTest(); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { accept(); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
}

CServiceDlg::~CServiceDlg() = default;

void CServiceDlg::SetAddress(const std::string& url)
{
    m_pAddress->setText(QString::fromStdString(url));
}

std::string CServiceDlg::ResultText() const
{
    return m_pResult->text().toStdString();
}

// An empty field is no service; anything else must be an http or https address.
bool CServiceDlg::CheckAddress()
{
    const std::string text = m_pAddress->text().trimmed().toStdString();
    m_strAddress.clear();
    if (text.empty())
        return true;
    std::string reason;
    if (CheckServiceUrl(text, m_strAddress, reason))
        return true;
    m_pResult->setText(QString::fromStdString("Not an address the downloader can use: " + reason + "."));
    return false;
}

void CServiceDlg::OnTest()
{
    if (m_pRequest || !CheckAddress())
        return;
    if (m_strAddress.empty()) {
        m_pResult->setText(QStringLiteral("No address to test."));
        return;
    }
    m_pResult->setText(QString::fromStdString("Asking " + m_strAddress + "\u2026"));
    m_pTest->setEnabled(false);
    m_pRequest = std::make_unique<CMultiWebRequest>(
        nullptr, [this](bool bDownloaded, std::string&) { OnTestDone(bDownloaded); });
    m_pRequest->Start(m_strAddress + "/");
}

void CServiceDlg::OnTestDone(bool bDownloaded)
{
    // Called from within the request's own delivery: it is kept, not destroyed here.
    m_pRequestDone = std::move(m_pRequest);
    m_pTest->setEnabled(true);
    const WebFailure& outcome = m_pRequestDone->Outcome();
    std::string text;
    if (bDownloaded) {
        // Any answer shows that a web service is there; its status says the rest.
        text = "The service answers";
        if (!outcome.strStatusLine.empty())
            text += " (" + outcome.strStatusLine + ")";
        text += ".";
    } else {
        text = "No answer: " + WebFailureReason(outcome) + ".";
    }
    m_pResult->setText(QString::fromStdString(text));
}

void CServiceDlg::accept()
{
    if (CheckAddress())
        QDialog::accept();
}
