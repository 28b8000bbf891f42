#include "dialogs/PromptDlg.h"


CPromptDlg::CPromptDlg(QWidget* pParent)
    : CTemplateDialog(pParent, QStringLiteral("Kestova"), 179, 76, EFrame::NoCloseBox)
{
    m_pText = AddStatic("1001", QString(), 7, 7, 165, 41, true);
    QPushButton* pContinue = AddButton("1002", QStringLiteral("Continue"), 36, 55, 48, 14, false);
    QPushButton* pAbort = AddButton("1003", QStringLiteral("Abort"), 96, 55, 48, 14, false);
    connect(pContinue, &QPushButton::clicked, this, &CPromptDlg::OnContinue);
    connect(pAbort, &QPushButton::clicked, this, &CPromptDlg::OnAbort);
}

int CPromptDlg::DoModal()
{
    if (!IsShowing())
        return CTemplateDialog::DoModal();
    CPromptDlg second(parentWidget());
    second.m_strText = m_strText;
    second.m_nChoice = m_nChoice;
    const int nResult = second.DoModal();
    if (nResult == IDOK)
        m_nChoice = second.m_nChoice;
    return nResult;
}

void CPromptDlg::DoDataExchange(bool bSaveAndValidate)
{
    ExchangeStaticText(bSaveAndValidate, m_pText, m_strText);
}

void CPromptDlg::OnContinue()
{
    m_nChoice = CHOICE_CONTINUE;
    accept();
}

void CPromptDlg::OnAbort()
{
    m_nChoice = CHOICE_ABORT;
    accept();
}
