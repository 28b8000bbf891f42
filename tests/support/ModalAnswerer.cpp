#include "ModalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLabel>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// Button text as the user reads it: "&Yes" -> "Yes", "&&" -> "&".
QString VisibleText(QString strText)
{
    strText.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    strText.remove(QLatin1Char('&'));
    strText.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return strText;
}

QString ActionName(const QString& strVerb, const QString& strArgument)
{
    return strArgument.isEmpty() ? strVerb : strVerb + QLatin1Char(' ') + strArgument;
}

void ForceClose(QWidget* pDialog)
{
    if (auto* pQDialog = qobject_cast<QDialog*>(pDialog))
        pQDialog->reject();
    else
        pDialog->close();
}

} // namespace

CModalAnswerer::CModalAnswerer(int nTimeoutMs) : m_nTimeoutMs(nTimeoutMs)
{
    m_timer.setInterval(POLL_INTERVAL_MS);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
    m_timer.start();
}

CModalAnswerer::~CModalAnswerer()
{
    m_timer.stop();
    for (const Unclosed& entry : m_unclosed)
        if (entry.pDialog)
            entry.pDialog->removeEventFilter(this);
    if (!m_answers.empty() && !m_bAllowUnused)
        ADD_FAILURE() << "CModalAnswerer: " << m_answers.size()
                      << " queued answer(s) unused: fewer dialogs appeared than expected";
}

CModalAnswerer& CModalAnswerer::Queue(EAction action, const QString& strArgument, Inspector inspect)
{
    m_answers.push_back(Answer{action, strArgument, std::move(inspect)});
    return *this;
}

CModalAnswerer& CModalAnswerer::Press(const QString& strButton, Inspector inspect)
{
    return Queue(EAction::Press, strButton, std::move(inspect));
}

CModalAnswerer& CModalAnswerer::PressEscape(Inspector inspect)
{
    return Queue(EAction::Escape, QString(), std::move(inspect));
}

CModalAnswerer& CModalAnswerer::CloseWindow(Inspector inspect)
{
    return Queue(EAction::Close, QString(), std::move(inspect));
}

CModalAnswerer& CModalAnswerer::ChooseFile(const QString& strPath, Inspector inspect)
{
    return Queue(EAction::File, strPath, std::move(inspect));
}

CModalAnswerer& CModalAnswerer::PressOnAnyOther(const QString& strButton)
{
    m_fallbackButton = strButton;
    return *this;
}

CModalAnswerer& CModalAnswerer::AllowUnused()
{
    m_bAllowUnused = true;
    return *this;
}

int CModalAnswerer::AnsweredCount() const
{
    int nCount = 0;
    for (const SeenDialog& seen : m_seen)
        if (!seen.strAnswer.isEmpty() && seen.strAnswer != QLatin1String("Unexpected"))
            ++nCount;
    return nCount;
}

int CModalAnswerer::PendingCount() const { return static_cast<int>(m_answers.size()); }

const std::vector<CModalAnswerer::SeenDialog>& CModalAnswerer::Seen() const { return m_seen; }

bool CModalAnswerer::HasFailed() const { return m_bFailed; }

bool CModalAnswerer::WaitForAnswered(int nCount, int nTimeoutMs)
{
    return WaitUntil([&] { return AnsweredCount() >= nCount; }, nTimeoutMs);
}

bool CModalAnswerer::WaitUntil(const std::function<bool()>& predicate, int nTimeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!predicate()) {
        if (elapsed.elapsed() >= nTimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, POLL_INTERVAL_MS);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool CModalAnswerer::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    // An answered dialog has closed: its next showing, even of the same object, is a new one.
    if (pEvent->type() == QEvent::Hide) {
        pWatched->removeEventFilter(this);
        std::erase_if(m_unclosed, [&](const Unclosed& u) { return u.pDialog.data() == pWatched; });
    }
    return false;
}

void CModalAnswerer::Poll()
{
    DropClosedAndStuck();
    // The modal widget on top; a dialog opened by an answered one sits above it and is new.
    QWidget* pDialog = QApplication::activeModalWidget();
    if (pDialog != nullptr && pDialog->isVisible() && !IsUnclosed(pDialog))
        AnswerDialog(pDialog);
}

void CModalAnswerer::DropClosedAndStuck()
{
    const qint64 nNowMs = QDateTime::currentMSecsSinceEpoch();
    std::vector<Unclosed> unclosed;
    unclosed.swap(m_unclosed);
    for (Unclosed& entry : unclosed) {
        if (!entry.pDialog || !entry.pDialog->isVisible()) {
            if (entry.pDialog)
                entry.pDialog->removeEventFilter(this);
        } else if (nNowMs - entry.nSinceMs >= m_nTimeoutMs) {
            entry.pDialog->removeEventFilter(this);
            Fail(entry.pDialog, QStringLiteral("dialog \"%1\" did not close after its answer")
                                    .arg(entry.pDialog->windowTitle()));
        } else {
            m_unclosed.push_back(entry);
        }
    }
}

bool CModalAnswerer::IsUnclosed(const QWidget* pDialog) const
{
    return std::any_of(m_unclosed.begin(), m_unclosed.end(),
                       [&](const Unclosed& u) { return u.pDialog.data() == pDialog; });
}

void CModalAnswerer::AnswerDialog(QWidget* pDialog)
{
    m_seen.push_back(Describe(pDialog));
    if (m_answers.empty() && !m_fallbackButton) {
        m_seen.back().strAnswer = QStringLiteral("Unexpected");
        const SeenDialog& seen = m_seen.back();
        Fail(pDialog, QStringLiteral("no answer queued for dialog \"%1\" (%2) showing \"%3\"")
                          .arg(seen.strTitle, seen.strClass, seen.strText));
        return;
    }
    Answer answer{EAction::Press, m_fallbackButton.value_or(QString()), {}};
    if (!m_answers.empty()) {
        answer = std::move(m_answers.front());
        m_answers.pop_front();
    }
    const std::size_t nSeenIndex = m_seen.size() - 1;
    QPointer<QWidget> pGuard = pDialog;
    if (answer.inspect)
        answer.inspect(pDialog);
    if (!pGuard || !pGuard->isVisible()) {
        m_seen[nSeenIndex].strAnswer = QStringLiteral("Closed by inspector");
        return;
    }
    m_unclosed.push_back(Unclosed{pGuard, QDateTime::currentMSecsSinceEpoch()});
    pDialog->installEventFilter(this);
    GiveLater(pDialog, std::move(answer), nSeenIndex);
}

void CModalAnswerer::GiveLater(QWidget* pDialog, Answer answer, std::size_t nSeenIndex)
{
    // Answered from the event loop, not from inside the poll: a button may open a dialog of its
    // own (a warning over a file dialog), which the poll must then be free to see and answer.
    QPointer<QWidget> pGuard = pDialog;
    QTimer::singleShot(0, this, [this, pGuard, answer = std::move(answer), nSeenIndex] {
        if (!pGuard || !pGuard->isVisible())
            return;
        QString strError;
        if (!Give(pGuard, answer, m_seen[nSeenIndex], strError)) {
            m_seen[nSeenIndex].strAnswer = QStringLiteral("Unexpected");
            if (pGuard)
                Fail(pGuard, strError);
        }
    });
}

bool CModalAnswerer::Give(QWidget* pDialog, const Answer& answer, SeenDialog& seen,
                          QString& strError)
{
    switch (answer.action) {
    case EAction::Press: {
        seen.strAnswer = ActionName(QStringLiteral("Press"), answer.strArgument);
        for (QAbstractButton* pButton : pDialog->findChildren<QAbstractButton*>()) {
            if (!pButton->isVisible() || VisibleText(pButton->text()) != answer.strArgument)
                continue;
            if (!pButton->isEnabled()) {
                strError = QStringLiteral("button \"%1\" is disabled").arg(answer.strArgument);
                return false;
            }
            pButton->click();
            return true;
        }
        strError = QStringLiteral("dialog \"%1\" has no button \"%2\" (buttons: %3)")
                       .arg(seen.strTitle, answer.strArgument, seen.buttons.join(", "));
        return false;
    }
    case EAction::Escape: {
        seen.strAnswer = QStringLiteral("Escape");
        QWidget* pTarget = QApplication::focusWidget();
        if (pTarget == nullptr || pTarget->window() != pDialog)
            pTarget = pDialog;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(pTarget, &press);
        return true;
    }
    case EAction::Close:
        seen.strAnswer = QStringLiteral("Close");
        pDialog->close();
        return true;
    case EAction::File:
        seen.strAnswer = ActionName(QStringLiteral("File"), answer.strArgument);
        return ChooseIn(pDialog, answer.strArgument, seen, strError);
    }
    return false;
}

bool CModalAnswerer::ChooseIn(QWidget* pDialog, const QString& strPath, const SeenDialog& seen,
                              QString& strError)
{
    QPointer<QFileDialog> pFileDialog = qobject_cast<QFileDialog*>(pDialog);
    if (pFileDialog == nullptr) {
        strError = QStringLiteral("dialog \"%1\" is a %2, not a QFileDialog")
                       .arg(seen.strTitle, seen.strClass);
        return false;
    }
    pFileDialog->selectFile(strPath);
    // selectFile leaves the name field alone while it has the focus: type the path in it too.
    if (auto* pNameEdit = pFileDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        pNameEdit->setText(QFileInfo(strPath).absoluteFilePath());
    static_cast<QDialog*>(pFileDialog.data())->accept(); // virtual: QFileDialog checks the name
    if (pFileDialog && pFileDialog->isVisible()) {
        strError = QStringLiteral("the file dialog did not accept \"%1\"").arg(strPath);
        return false;
    }
    return true;
}

void CModalAnswerer::Fail(QWidget* pDialog, const QString& strWhy)
{
    m_bFailed = true;
    ADD_FAILURE() << "CModalAnswerer: " << strWhy.toStdString();
    ForceClose(pDialog);
}

CModalAnswerer::SeenDialog CModalAnswerer::Describe(QWidget* pDialog)
{
    SeenDialog seen;
    seen.strClass = QString::fromLatin1(pDialog->metaObject()->className());
    seen.strTitle = pDialog->windowTitle();
    for (QLabel* pLabel : pDialog->findChildren<QLabel*>())
        if (pLabel->isVisible() && !pLabel->text().isEmpty())
            seen.labels << pLabel->text();
    for (QAbstractButton* pButton : pDialog->findChildren<QAbstractButton*>())
        if (pButton->isVisible())
            seen.buttons << VisibleText(pButton->text());
    if (auto* pBox = qobject_cast<QMessageBox*>(pDialog))
        seen.strText = pBox->text();
    else
        seen.strText = seen.labels.join(QLatin1Char('\n'));
    const Qt::WindowFlags flags = pDialog->windowFlags();
    seen.bHasCloseBox =
        !flags.testFlag(Qt::CustomizeWindowHint) || flags.testFlag(Qt::WindowCloseButtonHint);
    return seen;
}
