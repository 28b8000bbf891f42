#include "app/SingleInstance.h"

#include <QFileInfo>
#include <QLocalSocket>

#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// "open <session> <file>\n": the session first, so that a window never takes a file meant for
// another display's window.
const QByteArray OPEN_PREFIX = "open ";
const QByteArray ANSWER_OK = "ok\n";
const QByteArray ANSWER_ELSEWHERE = "elsewhere\n";
// Longer session names are shortened to a hash: a socket's path has room for 107 bytes.
constexpr std::size_t MAX_KEY_CHARS = 40;
constexpr std::size_t SOCKET_PATH_BYTES = 108;

// The socket this program listens on, removed at exit(); empty when it listens on none.
char s_listeningPath[SOCKET_PATH_BYTES] = {};

void RemoveListeningSocket()
{
    if (s_listeningPath[0] != '\0')
        unlink(s_listeningPath);
}

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Letters, digits, '.', '-' and '_' kept, anything else '_'; a long name as its FNV-1a hash.
std::string FileNamePart(const std::string& text)
{
    std::string part;
    for (const char c : text)
        part += std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ? c : '_';
    if (part.size() <= MAX_KEY_CHARS)
        return part;
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return hex;
}

// ":0.1" and ":0" are one display, "0": the screen number and a leading colon are left out.
std::string DisplayWithoutScreen(std::string display)
{
    const std::size_t colon = display.rfind(':');
    const std::size_t dot = display.find('.', colon == std::string::npos ? 0 : colon);
    if (colon != std::string::npos && dot != std::string::npos)
        display.erase(dot);
    if (colon == 0)
        display.erase(0, 1);
    return display;
}
} // namespace

CSingleInstance::~CSingleInstance()
{
    if (m_server.isListening() && m_server.fullServerName().toStdString() == s_listeningPath)
        s_listeningPath[0] = '\0';
}

std::string CSingleInstance::SessionKey()
{
    const std::string display = Env("DISPLAY");
    if (!display.empty())
        return "display-" + FileNamePart(DisplayWithoutScreen(display));
    const std::string wayland = Env("WAYLAND_DISPLAY");
    if (!wayland.empty())
        return "wayland-" + FileNamePart(wayland);
    const std::string session = Env("XDG_SESSION_ID");
    if (!session.empty())
        return "session-" + FileNamePart(session);
    return "nosession";
}

std::string CSingleInstance::SocketPath()
{
    const std::string runtimeDir = Env("XDG_RUNTIME_DIR");
    if (!runtimeDir.empty())
        return runtimeDir + "/kestova-downloader-" + SessionKey() + ".sock";
    return "/tmp/kestova-downloader-" + std::to_string(getuid()) + "-" + SessionKey() + ".sock";
}

CSingleInstance::EHandOver CSingleInstance::HandOver(const std::string& path)
{
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(SocketPath()));
    if (!socket.waitForConnected(CONNECT_TIMEOUT_MS))
        return EHandOver::NoneRunning;
    const QString absolute =
        path.empty() ? QString() : QFileInfo(QString::fromStdString(path)).absoluteFilePath();
    socket.write(OPEN_PREFIX + QByteArray::fromStdString(SessionKey()) + ' ' + absolute.toUtf8() +
                 '\n');
    socket.flush();
    QByteArray answer;
    while (!answer.endsWith('\n') && socket.waitForReadyRead(ANSWER_TIMEOUT_MS))
        answer += socket.readAll();
    if (answer == ANSWER_ELSEWHERE)
        return EHandOver::OtherSession;
    return answer == ANSWER_OK ? EHandOver::HandedOver : EHandOver::NoAnswer;
}

bool CSingleInstance::Listen(std::function<void(const std::string&)> onStart)
{
    m_onStart = std::move(onStart);
    m_strSessionKey = SessionKey();
    const QString name = QString::fromStdString(SocketPath());
    // Nobody answered on it (HandOver came first): whatever is there is stale.
    QLocalServer::removeServer(name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(name))
        return false;
    const std::string listening = m_server.fullServerName().toStdString();
    if (listening.size() < sizeof s_listeningPath) {
        static const bool bRegistered = std::atexit(RemoveListeningSocket) == 0;
        (void)bRegistered;
        std::memcpy(s_listeningPath, listening.c_str(), listening.size() + 1);
    }
    QObject::connect(&m_server, &QLocalServer::newConnection, &m_server, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket,
                             [this, socket] { OnRequest(socket); });
        }
    });
    return true;
}

void CSingleInstance::OnRequest(QLocalSocket* socket)
{
    if (!socket->canReadLine())
        return;
    const QByteArray line = socket->readLine().chopped(1);
    const QByteArray request =
        line.startsWith(OPEN_PREFIX) ? line.mid(OPEN_PREFIX.size()) : QByteArray();
    const qsizetype space = request.indexOf(' ');
    const bool bOurs = space >= 0 && request.left(space).toStdString() == m_strSessionKey;
    socket->write(bOurs ? ANSWER_OK : ANSWER_ELSEWHERE);
    socket->flush();
    socket->disconnectFromServer();
    if (bOurs && m_onStart)
        m_onStart(QString::fromUtf8(request.mid(space + 1)).toStdString());
}
