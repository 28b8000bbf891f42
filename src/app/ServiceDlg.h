// Firmware Service…: where the user names the firmware service (http or https only) and can
// ask it once to see whether it answers. The window saves the address when OK is pressed.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

class CMultiWebRequest;
class QLabel;
class QLineEdit;
class QPushButton;

class CServiceDlg : public QDialog {
    Q_OBJECT

public:
    explicit CServiceDlg(QWidget* pParent = nullptr);
    ~CServiceDlg() override;

    void SetAddress(const std::string& url);
    // The checked address (without trailing '/'), or empty for none; valid after OK.
    const std::string& Address() const { return m_strAddress; }
    // What the last check or test found, as shown under the address.
    std::string ResultText() const;

    // Test: asks the address once; the answer (or why there was none) shows under it.
    void OnTest();
    void accept() override;

private:
    bool CheckAddress();
    void OnTestDone(bool bDownloaded);

    QLineEdit* m_pAddress;
    QPushButton* m_pTest;
    QLabel* m_pResult;
    std::unique_ptr<CMultiWebRequest> m_pRequest;
    std::unique_ptr<CMultiWebRequest> m_pRequestDone; // kept until the next request ends
    std::string m_strAddress;
};
