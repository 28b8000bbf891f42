// The picture that shows how to link the cable's two pins for the echo test (template 134).
#pragma once

#include "dialogs/TemplateDialog.h"

class CEchoLinkDlg : public CTemplateDialog {
    Q_OBJECT

public:
    // DoModal: IDOK for Continue (start the echo test); IDCANCEL for Cancel, Escape or the
    // close box.
    explicit CEchoLinkDlg(QWidget* pParent = nullptr);
};
