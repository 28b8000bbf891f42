#include "dialogs/NoticeDlg.h"

CNoticeDlg::CNoticeDlg(QWidget* pParent)
    : CTemplateDialog(pParent, QStringLiteral("Kestova"), 182, 82, EFrame::NoCloseBox)
{
    QPushButton* pOk = AddButton("1", QStringLiteral("OK"), 68, 61, 50, 14, true);
    m_pText = AddStatic("1004", QString(), 7, 7, 168, 53, true);
    connect(pOk, &QPushButton::clicked, this, &CNoticeDlg::accept);
}

int CNoticeDlg::DoModal()
{
    if (!IsShowing())
        return CTemplateDialog::DoModal();
    CNoticeDlg second(parentWidget());
    second.m_strText = m_strText;
    return second.DoModal();
}

void CNoticeDlg::DoDataExchange(bool bSaveAndValidate)
{
    ExchangeStaticText(bSaveAndValidate, m_pText, m_strText);
}
