#include "app/SingleInstance.h"

#include <QFileInfo>
#include <QLocalSocket>

#include <unistd.h>

#include <cstdlib>

namespace {
const QByteArray OPEN_PREFIX = "open ";
const QByteArray ANSWER_OK = "ok\n";
} // namespace

std::string CSingleInstance::SocketPath()
{
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir != nullptr && *runtimeDir != '\0')
        return std::string(runtimeDir) + "/kestova-downloader.sock";
    return "/tmp/kestova-downloader-" + std::to_string(getuid()) + ".sock";
}

CSingleInstance::EHandOver CSingleInstance::HandOver(const std::string& path)
{
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(SocketPath()));
    if (!socket.waitForConnected(CONNECT_TIMEOUT_MS))
        return EHandOver::NoneRunning;
    const QString absolute = path.empty() ? QString() : QFileInfo(QString::fromStdString(path)).absoluteFilePath();
    socket.write(OPEN_PREFIX + absolute.toUtf8() + '\n');
    socket.flush();
    QByteArray answer;
    while (!answer.endsWith('\n') && socket.waitForReadyRead(ANSWER_TIMEOUT_MS))
        answer += socket.readAll();
    return answer == ANSWER_OK ? EHandOver::HandedOver : EHandOver::NoAnswer;
}

bool CSingleInstance::Listen(std::function<void(const std::string&)> onStart)
{
    m_onStart = std::move(onStart);
    const QString name = QString::fromStdString(SocketPath());
    // Nobody answered on it (HandOver came first): whatever is there is stale.
    QLocalServer::removeServer(name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(name))
        return false;
    QObject::connect(&m_server, &QLocalServer::newConnection, &m_server, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (!socket->canReadLine())
                    return;
                QByteArray line = socket->readLine().chopped(1);
                socket->write(ANSWER_OK);
                socket->flush();
                socket->disconnectFromServer();
                if (line.startsWith(OPEN_PREFIX) && m_onStart)
                    m_onStart(QString::fromUtf8(line.mid(OPEN_PREFIX.size())).toStdString());
            });
        }
    });
    return true;
}
