// Check This Computer…: the computer check of kestova-flash --doctor in a dialog: the summary
// on top, then one list item per check (failures first, each marked by an icon and a word and
// read whole by a screen reader), Check Again, and Copy, which puts the report as
// kestova-flash prints it (with its header) on the clipboard for a message to support.
#pragma once

#include "doctor/DoctorCheck.h"
#include "doctor/DoctorMachine.h"

#include <QDialog>

#include <memory>
#include <vector>

class CServiceCheck;
class QLabel;
class QListWidget;
class QPushButton;

class CDoctorDlg : public QDialog {
    Q_OBJECT

public:
    explicit CDoctorDlg(QWidget* pParent = nullptr);
    ~CDoctorDlg() override;

    // Runs the checks of `machine` and shows them; the firmware service's answer follows when
    // it comes, on this thread's event loop. Check Again runs them anew.
    void Run(const DoctorMachine& machine);
    // The report as Copy puts it on the clipboard.
    QString ReportText() const;
    void OnCopy();

private:
    void Show();

    QLabel* m_pSummary;
    QListWidget* m_pList;
    QPushButton* m_pCopy;
    QPushButton* m_pAgain;
    DoctorMachine m_machine;
    std::vector<DoctorCheck> m_checks;
    bool m_bServicePending = false;
    std::unique_ptr<CServiceCheck> m_pService;
};
