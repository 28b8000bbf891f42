// Base of the downloader's small modal dialogs: builds the controls of a dialog template at their
// positions in dialog units of the dialog's font, and runs the modal loop with data exchange.
#pragma once

#include "platform/DialogUnits.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <string>

// How a modal dialog of the downloader ended, and the buttons of a question.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

class CTemplateDialog : public QDialog {
    Q_OBJECT

public:
    // Shows the dialog modally: members go to the controls first; when it closes as OK the
    // controls go back to the members. Returns IDOK, or IDCANCEL for Cancel, Escape or the close
    // box. A dialog that is already showing is not shown a second time: IDCANCEL at once.
    virtual int DoModal();
    // True while the dialog's modal loop runs.
    bool IsShowing() const;

protected:
    enum class EFrame { NoCloseBox, CloseBox };

    CTemplateDialog(QWidget* pParent, const QString& strCaption, int nWidthDlu, int nHeightDlu,
                    EFrame frame);

    // bSaveAndValidate false: members to controls (on opening); true: controls to members (OK).
    virtual void DoDataExchange(bool bSaveAndValidate);
    // Exchanges a static control's text with a text member. The control's text goes back to the
    // member byte for byte as the member set it, so a text that is not valid UTF-8 survives.
    static void ExchangeStaticText(bool bSaveAndValidate, QLabel* pLabel, std::string& strMember);

    // A static text, word-wrapped and centred (bCentred) or a single left-aligned line.
    QLabel* AddStatic(const char* pszName, const QString& strText, int x, int y, int nWidth,
                      int nHeight, bool bCentred);
    QPushButton* AddButton(const char* pszName, const QString& strText, int x, int y, int nWidth,
                           int nHeight, bool bDefault);
    // A picture shown at its own size, centred in the area and scaled down if it does not fit.
    QLabel* AddPicture(const char* pszName, const QPixmap& picture, int x, int y, int nWidth,
                       int nHeight);

    // Closes as OK after the controls have gone to the members.
    void accept() override;

private:
    QRect ToPixels(int x, int y, int nWidth, int nHeight) const;

    CDialogUnits m_units;
    bool m_bShowing = false;
};
