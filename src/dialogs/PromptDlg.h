// The Continue/Abort prompt that guides the user through unplugging and plugging the cable
// (template 129).
#pragma once

#include "dialogs/TemplateDialog.h"

#include <string>

class CPromptDlg : public CTemplateDialog {
    Q_OBJECT

public:
    static constexpr int CHOICE_CONTINUE = 1;
    static constexpr int CHOICE_ABORT = 2;

    explicit CPromptDlg(QWidget* pParent = nullptr);

    // Shows m_strText. IDOK after Continue or Abort, with m_nChoice telling which; IDCANCEL after
    // Escape, with m_nChoice left as it was (the caller must not read it). Asked again while it
    // is already up, it asks in a second prompt on top and takes over that prompt's choice.
    int DoModal() override;

    std::string m_strText; // the prompt text; kept between showings
    int m_nChoice = 0;     // CHOICE_CONTINUE or CHOICE_ABORT after OK; 0 before any choice

protected:
    void DoDataExchange(bool bSaveAndValidate) override;

private:
    void OnContinue();
    void OnAbort();

    QLabel* m_pText;
};
