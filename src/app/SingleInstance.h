// One window per user and session: the first start listens on a local socket named for the
// session (its display, else its login session); a later start in the same session hands its
// programming file (or nothing) to it and ends. A start on another display never reaches it. A
// socket left by a copy that crashed or lost its display is taken over.
#pragma once

#include <QLocalServer>

#include <functional>
#include <string>

class QLocalSocket;

class CSingleInstance {
public:
    enum class EHandOver { NoneRunning, HandedOver, NoAnswer, OtherSession };
    static constexpr int CONNECT_TIMEOUT_MS = 1000;
    static constexpr int ANSWER_TIMEOUT_MS = 3000;

    CSingleInstance() = default;
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // The session this program runs in, as a part of a file name: "display-0" for DISPLAY=:0
    // (or :0.1), "wayland-wayland-1" without X, "session-3" for XDG_SESSION_ID=3 without a
    // display, "nosession" without either.
    static std::string SessionKey();
    // $XDG_RUNTIME_DIR/kestova-downloader-<session>.sock; without it, one named for the user
    // and the session in /tmp.
    static std::string SocketPath();
    // Gives `path` (made absolute; may be empty) to the running copy of this session, if any.
    // OtherSession: the copy listening on this session's name is on another display.
    static EHandOver HandOver(const std::string& path);

    // Listens for later starts; each one's file (empty: none) goes to onStart. False when the
    // socket cannot be had (the program then runs on its own). The socket is removed when the
    // program ends, also through exit() (as Qt ends it when its display is lost).
    bool Listen(std::function<void(const std::string&)> onStart);

private:
    void OnRequest(QLocalSocket* socket);

    QLocalServer m_server;
    std::string m_strSessionKey;
    std::function<void(const std::string&)> m_onStart;
};
