// The notice: one text and OK, for everything the user must acknowledge (template 131).
#pragma once

#include "dialogs/TemplateDialog.h"

#include <string>

class CNoticeDlg : public CTemplateDialog {
    Q_OBJECT

public:
    explicit CNoticeDlg(QWidget* pParent = nullptr);

    // Shows m_strText until OK (IDOK) or Escape (IDCANCEL). Asked again while it is already
    // up (from a timer or a link message), it shows the new text in a second notice on top.
    int DoModal() override;

    std::string m_strText; // the notice text; kept between showings

protected:
    void DoDataExchange(bool bSaveAndValidate) override;

private:
    void FitText();

    QLabel* m_pText;
    QPushButton* m_pOk;
    QSize m_templateSize;
    QRect m_templateTextRect;
    QPoint m_templateOkPos;
};
