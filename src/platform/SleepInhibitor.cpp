#include "platform/SleepInhibitor.h"

#include "platform/SupportLog.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>

#include <unistd.h>

#include <atomic>

namespace {
const QString LOGIND_SERVICE = QStringLiteral("org.freedesktop.login1");
const QString LOGIND_PATH = QStringLiteral("/org/freedesktop/login1");
const QString LOGIND_MANAGER = QStringLiteral("org.freedesktop.login1.Manager");
const QString PORTAL_SERVICE = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PORTAL_PATH = QStringLiteral("/org/freedesktop/portal/desktop");
const QString PORTAL_INHIBIT = QStringLiteral("org.freedesktop.portal.Inhibit");
const QString PORTAL_REQUEST = QStringLiteral("org.freedesktop.portal.Request");

// Why sleep cannot be held off is the machine's, not a unit's: the support log says it once a
// process, however many units an update drives.
std::atomic<bool> g_bNoLogindSaid{false};
} // namespace

CSleepInhibitor::CSleepInhibitor(CSupportLog* pLog, bool bPortal)
    : m_pLog(pLog),
      m_system(QDBusConnection::systemBus()),
      m_session(bPortal ? QDBusConnection::sessionBus() : QDBusConnection(QString())),
      m_bPortal(bPortal)
{
}

CSleepInhibitor::~CSleepInhibitor()
{
    SetHeld(false, {});
}

void CSleepInhibitor::Note(const std::string& text)
{
    if (m_pLog != nullptr)
        m_pLog->Note(text);
}

void CSleepInhibitor::SetHeld(bool bHeld, const std::string& why)
{
    if (bHeld == m_bWanted)
        return;
    m_bWanted = bHeld;
    ++m_nRequest;
    if (bHeld) {
        AskLogind(why);
        if (m_bPortal)
            AskPortal(why);
        return;
    }
    if (m_nLockFd >= 0) {
        close(m_nLockFd);
        m_nLockFd = -1;
        Note("Sleep and shutdown are no longer held off.");
    }
    ReleasePortal();
}

void CSleepInhibitor::AskLogind(const std::string& why)
{
    if (!m_system.isConnected()) {
        if (!g_bNoLogindSaid.exchange(true))
            Note("Sleep and shutdown cannot be held off during updates: no system bus (" +
                 m_system.lastError().message().toStdString() + ").");
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(LOGIND_SERVICE, LOGIND_PATH, LOGIND_MANAGER, QStringLiteral("Inhibit"));
    call << QString::fromLatin1(WHAT) << QString::fromLatin1(WHO) << QString::fromStdString(why)
         << QString::fromLatin1(MODE);
    auto* watcher = new QDBusPendingCallWatcher(m_system.asyncCall(call), this);
    const int request = m_nRequest;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, request](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        if (reply.isError()) {
            if (!g_bNoLogindSaid.exchange(true))
                Note("Sleep and shutdown cannot be held off during updates: logind did not grant a "
                     "lock (" +
                     reply.error().message().toStdString() + ").");
            return;
        }
        // The answer to a request already withdrawn: the lock goes at once.
        if (request != m_nRequest || !m_bWanted || m_nLockFd >= 0)
            return;
        m_nLockFd = dup(reply.value().fileDescriptor());
        Note("Sleep and shutdown are held off while the update runs.");
    });
}

void CSleepInhibitor::AskPortal(const std::string& why)
{
    if (!m_session.isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(PORTAL_SERVICE, PORTAL_PATH, PORTAL_INHIBIT, QStringLiteral("Inhibit"));
    QVariantMap options;
    options.insert(QStringLiteral("reason"), QString::fromStdString(why));
    call << QString() << (PORTAL_LOGOUT | PORTAL_SUSPEND) << options;
    auto* watcher = new QDBusPendingCallWatcher(m_session.asyncCall(call), this);
    const int request = m_nRequest;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, request](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError())
            return; // best effort: no portal, or it refused
        m_portalHandle = reply.value().path();
        if (request != m_nRequest || !m_bWanted)
            ReleasePortal();
    });
}

void CSleepInhibitor::ReleasePortal()
{
    if (m_portalHandle.isEmpty())
        return;
    const QDBusMessage call = QDBusMessage::createMethodCall(PORTAL_SERVICE, m_portalHandle, PORTAL_REQUEST,
                                                             QStringLiteral("Close"));
    m_session.call(call, QDBus::NoBlock);
    m_portalHandle.clear();
}
