// Answers the modal dialogs a test provokes, so that tests drive the real dialogs: it watches
// for QApplication::activeModalWidget(), records what each dialog showed and answers it.
//
// Use:
//     CModalAnswerer answerer;                 // starts watching at once
//     answerer.Press("Continue").Press("OK");  // one queued answer per dialog, in order
//     dlg.OnDetect();                          // blocks in the dialogs; they get answered
//     ASSERT_EQ(answerer.AnsweredCount(), 2);
//     EXPECT_EQ(answerer.Seen()[0].strText, "Unplug the ...");
//
// Or, when the dialog appears later (from a timer or a posted message):
//     CModalAnswerer answerer;
//     answerer.Press("OK");
//     ASSERT_TRUE(answerer.WaitForAnswered(1));          // spins the event loop meanwhile
//     ASSERT_TRUE(CModalAnswerer::WaitUntil([&] { return x.Done(); }, 5000));
//
// Answers: Press(text) clicks the visible, enabled button whose text is `text` ("&" ignored,
// so "Yes" matches QMessageBox's "&Yes"); PressEscape() types Escape into the dialog's focus
// widget as a user would; CloseWindow() closes the window as its close box would;
// ChooseFile(path) selects `path` in a QFileDialog and accepts it. The caller must show its
// QFileDialog with QFileDialog::DontUseNativeDialog (a native dialog is no Qt widget and cannot
// be answered); the widget dialog is also what Qt shows under QT_QPA_PLATFORM=offscreen.
// Each answer may carry an inspector that is called with the live dialog before it is answered,
// for checks that need the widget itself (geometry, flags, focus).
//
// What is recorded (SeenDialog): class name, window title, main text (QMessageBox::text(), else
// the texts of the dialog's visible labels joined by "\n"), every label text, the texts of the
// visible buttons, whether the window has a close box, and the answer given.
//
// A dialog opened by the button an answer pressed (a warning over a file dialog, a question
// asked by a dialog's button) is answered with the next queued answer like any other.
//
// Failures never hang a test: a dialog that appears with no answer queued, an answer that cannot
// be given (no such button, button disabled, not a file dialog) or a dialog that does not close
// within the time-out is reported with ADD_FAILURE and closed by reject(). Answers still queued
// when the answerer is destroyed are reported as a failure too (unless AllowUnused() was called).
// It runs on the event loop: it answers while the test blocks in a modal loop (DoModal, exec,
// QMessageBox) or spins in WaitUntil/WaitForAnswered, never while the test merely sleeps.
// An inspector must not open a modal loop of its own.
// Only one answerer should be alive at a time. GUI thread only; a QApplication must exist.
// CMake: target_link_libraries(<suite> PRIVATE kx_test_support kx_test_main); kx_test_main's
// main creates the QApplication (offscreen when there is no display).
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

class CModalAnswerer : public QObject {
public:
    static constexpr int DEFAULT_TIMEOUT_MS = 10000;
    static constexpr int POLL_INTERVAL_MS = 10;

    using Inspector = std::function<void(QWidget* pDialog)>;

    struct SeenDialog {
        QString strClass;       // e.g. "CNoticeDlg", "QMessageBox", "QFileDialog"
        QString strTitle;       // window title
        QString strText;        // main text (see above)
        QStringList labels;     // every visible label's text, in child order
        QStringList buttons;    // visible buttons' texts, "&" removed
        bool bHasCloseBox = false;
        QString strAnswer;      // "Press OK", "Escape", "Close", "File <path>", "Unexpected"
    };

    // Starts watching. `nTimeoutMs` bounds how long an answered dialog may take to close.
    explicit CModalAnswerer(int nTimeoutMs = DEFAULT_TIMEOUT_MS);
    ~CModalAnswerer() override;

    CModalAnswerer(const CModalAnswerer&) = delete;
    CModalAnswerer& operator=(const CModalAnswerer&) = delete;

    // Queue one answer for the next dialog that appears; they are used in the order queued.
    CModalAnswerer& Press(const QString& strButton, Inspector inspect = {});
    CModalAnswerer& PressEscape(Inspector inspect = {});
    CModalAnswerer& CloseWindow(Inspector inspect = {});
    CModalAnswerer& ChooseFile(const QString& strPath, Inspector inspect = {});

    // Press `strButton` on every dialog that appears once the queue is empty (no failure).
    CModalAnswerer& PressOnAnyOther(const QString& strButton);
    // Do not report queued answers left over at destruction.
    CModalAnswerer& AllowUnused();

    // Dialogs answered so far (the answer given; a dialog nobody expected does not count).
    int AnsweredCount() const;
    // Queued answers not used yet.
    int PendingCount() const;
    const std::vector<SeenDialog>& Seen() const;
    bool HasFailed() const;

    // Spins the event loop until `nCount` dialogs in all have been answered; false on time-out.
    bool WaitForAnswered(int nCount, int nTimeoutMs = DEFAULT_TIMEOUT_MS);
    // Spins the event loop until `predicate` holds; false on time-out.
    static bool WaitUntil(const std::function<bool()>& predicate, int nTimeoutMs);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    enum class EAction { Press, Escape, Close, File };
    struct Answer {
        EAction action;
        QString strArgument;
        Inspector inspect;
    };

    // An answered dialog that has not closed yet, and since when it waits.
    struct Unclosed {
        QPointer<QWidget> pDialog;
        qint64 nSinceMs;
    };

    CModalAnswerer& Queue(EAction action, const QString& strArgument, Inspector inspect);
    void Poll();
    void DropClosedAndStuck();
    bool IsUnclosed(const QWidget* pDialog) const;
    void AnswerDialog(QWidget* pDialog);
    void GiveLater(QWidget* pDialog, Answer answer, std::size_t nSeenIndex);
    bool Give(QWidget* pDialog, const Answer& answer, SeenDialog& seen, QString& strError);
    bool ChooseIn(QWidget* pDialog, const QString& strPath, const SeenDialog& seen,
                  QString& strError);
    void Fail(QWidget* pDialog, const QString& strWhy);
    static SeenDialog Describe(QWidget* pDialog);

    QTimer m_timer;
    int m_nTimeoutMs;
    std::deque<Answer> m_answers;
    std::optional<QString> m_fallbackButton;
    std::vector<SeenDialog> m_seen;
    std::vector<Unclosed> m_unclosed;
    bool m_bFailed = false;
    bool m_bAllowUnused = false;
};
