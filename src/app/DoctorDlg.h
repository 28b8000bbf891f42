// Check This Computer…: the computer check of kestova-flash --doctor in a dialog, with a Copy
// button that puts the report on the clipboard for a message to support.
#pragma once

#include "doctor/DoctorCheck.h"
#include "doctor/DoctorMachine.h"

#include <QDialog>

#include <memory>
#include <vector>

class CServiceCheck;
class QPlainTextEdit;
class QPushButton;

class CDoctorDlg : public QDialog {
    Q_OBJECT

public:
    explicit CDoctorDlg(QWidget* pParent = nullptr);
    ~CDoctorDlg() override;

    // Runs the checks of `machine` and shows them; the firmware service's answer follows when
    // it comes, on this thread's event loop.
    void Run(const DoctorMachine& machine);
    // The report as shown (and as Copy puts it on the clipboard).
    QString ReportText() const;
    void OnCopy();

private:
    void Show();

    QPlainTextEdit* m_pReport;
    QPushButton* m_pCopy;
    std::vector<DoctorCheck> m_checks;
    bool m_bServicePending = false;
    std::unique_ptr<CServiceCheck> m_pService;
};
