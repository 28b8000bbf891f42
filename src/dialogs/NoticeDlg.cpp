#include "dialogs/NoticeDlg.h"

#include <algorithm>

CNoticeDlg::CNoticeDlg(QWidget* pParent)
    : CTemplateDialog(pParent, QStringLiteral("Kestova"), 182, 82, EFrame::NoCloseBox)
{
    m_pOk = AddButton("1", QStringLiteral("OK"), 68, 61, 50, 14, true);
    m_pText = AddStatic("1004", QString(), 7, 7, 168, 53, true);
    m_templateSize = size();
    m_templateTextRect = m_pText->geometry();
    m_templateOkPos = m_pOk->pos();
    connect(m_pOk, &QPushButton::clicked, this, &CNoticeDlg::accept);
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
    if (!bSaveAndValidate)
        FitText();
}

// A text longer than the template's (a notice followed by what to do about it) makes the notice
// taller, so that no part of it is cut off; a text that fits keeps the template's size.
void CNoticeDlg::FitText()
{
    const int needed = m_pText->heightForWidth(m_templateTextRect.width());
    const int extra = std::max(0, needed - m_templateTextRect.height());
    m_pText->setGeometry(m_templateTextRect.adjusted(0, 0, 0, extra));
    m_pOk->move(m_templateOkPos + QPoint(0, extra));
    setFixedSize(m_templateSize + QSize(0, extra));
}
