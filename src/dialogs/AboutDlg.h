// The about box: the program's icon, name, version and copyright (template 100).
#pragma once

#include "dialogs/TemplateDialog.h"

class CAboutDlg : public CTemplateDialog {
    Q_OBJECT

public:
    // DoModal: IDOK for OK; IDCANCEL for Escape or the close box. Callers ignore the result.
    explicit CAboutDlg(QWidget* pParent = nullptr);
};
