// One window per user: the first start listens on a local socket in $XDG_RUNTIME_DIR; a later
// start hands its programming file (or nothing) to it and ends. A socket left by a copy that
// crashed is taken over.
#pragma once

#include <QLocalServer>

#include <functional>
#include <string>

class CSingleInstance {
public:
    enum class EHandOver { NoneRunning, HandedOver, NoAnswer };
    static constexpr int CONNECT_TIMEOUT_MS = 1000;
    static constexpr int ANSWER_TIMEOUT_MS = 3000;

    // $XDG_RUNTIME_DIR/kestova-downloader.sock; without it, one named for the user in /tmp.
    static std::string SocketPath();
    // Gives `path` (made absolute; may be empty) to the running copy, if any.
    static EHandOver HandOver(const std::string& path);

    // Listens for later starts; each one's file (empty: none) goes to onStart. False when the
    // socket cannot be had (the program then runs on its own).
    bool Listen(std::function<void(const std::string&)> onStart);

private:
    QLocalServer m_server;
    std::function<void(const std::string&)> m_onStart;
};
