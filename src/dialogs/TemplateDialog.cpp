#include "dialogs/TemplateDialog.h"


namespace {

// The bytes a static control was given by data exchange, kept on the control.
constexpr char EXCHANGED_BYTES_PROPERTY[] = "kxExchangedBytes";

Qt::WindowFlags FrameFlags(bool bCloseBox)
{
    // Notice and prompt: a caption and nothing else. The others add a system menu and close box.
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (bCloseBox)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    return flags;
}

} // namespace

CTemplateDialog::CTemplateDialog(QWidget* pParent, const QString& strCaption, int nWidthDlu,
                                 int nHeightDlu, EFrame frame)
    : QDialog(pParent, FrameFlags(frame == EFrame::CloseBox)), m_units(font())
{
    setWindowTitle(strCaption);
    setFixedSize(m_units.X(nWidthDlu), m_units.Y(nHeightDlu));
}

int CTemplateDialog::DoModal()
{
    if (m_bShowing)
        return IDCANCEL;
    DoDataExchange(false);
    m_bShowing = true;
    const int nResult = exec();
    m_bShowing = false;
    return nResult == QDialog::Accepted ? IDOK : IDCANCEL;
}

bool CTemplateDialog::IsShowing() const { return m_bShowing; }

void CTemplateDialog::DoDataExchange(bool /*bSaveAndValidate*/) {}

void CTemplateDialog::ExchangeStaticText(bool bSaveAndValidate, QLabel* pLabel,
                                         std::string& strMember)
{
    if (!bSaveAndValidate) {
        pLabel->setText(QString::fromStdString(strMember));
        pLabel->setProperty(EXCHANGED_BYTES_PROPERTY, QByteArray::fromStdString(strMember));
        return;
    }
    const QByteArray bytes = pLabel->property(EXCHANGED_BYTES_PROPERTY).toByteArray();
    if (pLabel->text() == QString::fromUtf8(bytes))
        strMember = bytes.toStdString();
    else
        strMember = pLabel->text().toStdString();
}

QLabel* CTemplateDialog::AddStatic(const char* pszName, const QString& strText, int x, int y,
                                   int nWidth, int nHeight, bool bCentred)
{
    auto* pLabel = new QLabel(strText, this);
    pLabel->setObjectName(QString::fromLatin1(pszName));
    pLabel->setTextFormat(Qt::PlainText);
    pLabel->setWordWrap(bCentred);
    pLabel->setAlignment(bCentred ? Qt::AlignHCenter | Qt::AlignTop : Qt::AlignLeft | Qt::AlignTop);
    pLabel->setGeometry(ToPixels(x, y, nWidth, nHeight));
    return pLabel;
}

QPushButton* CTemplateDialog::AddButton(const char* pszName, const QString& strText, int x, int y,
                                        int nWidth, int nHeight, bool bDefault)
{
    auto* pButton = new QPushButton(strText, this);
    pButton->setObjectName(QString::fromLatin1(pszName));
    pButton->setAutoDefault(true); // Enter presses the focused button, as in a dialog box
    pButton->setDefault(bDefault);
    pButton->setGeometry(ToPixels(x, y, nWidth, nHeight));
    return pButton;
}

QLabel* CTemplateDialog::AddPicture(const char* pszName, const QPixmap& picture, int x, int y,
                                    int nWidth, int nHeight)
{
    auto* pLabel = new QLabel(this);
    pLabel->setObjectName(QString::fromLatin1(pszName));
    pLabel->setAlignment(Qt::AlignCenter);
    const QRect area = ToPixels(x, y, nWidth, nHeight);
    pLabel->setGeometry(area);
    const bool bFits = picture.width() <= area.width() && picture.height() <= area.height();
    pLabel->setPixmap(bFits || picture.isNull()
                          ? picture
                          : picture.scaled(area.size(), Qt::KeepAspectRatio,
                                           Qt::SmoothTransformation));
    return pLabel;
}

void CTemplateDialog::accept()
{
    DoDataExchange(true);
    QDialog::accept();
}

QRect CTemplateDialog::ToPixels(int x, int y, int nWidth, int nHeight) const
{
    return m_units.Rect(x, y, nWidth, nHeight);
}
