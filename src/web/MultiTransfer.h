// Runs one download on the thread that starts it, without blocking and without a thread: a
// libcurl multi handle whose sockets are watched by QSocketNotifiers and whose time-outs are a
// single-shot QTimer, both served by that thread's event loop.
#pragma once

#include "web/WebDownloader.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <string>

class QSocketNotifier;

class CMultiTransfer : public QObject {
public:
    using StatusFn = std::function<void(const std::string& text)>;
    using DoneFn = std::function<void(bool bDownloaded)>;

    // fnStatus may be empty (no status texts); fnDone is called once, from the event loop,
    // unless the transfer is cancelled first.
    CMultiTransfer(StatusFn fnStatus, DoneFn fnDone);
    ~CMultiTransfer() override;
    CMultiTransfer(const CMultiTransfer&) = delete;
    CMultiTransfer& operator=(const CMultiTransfer&) = delete;

    // The downloader whose easy handle runs here: its limits, clock, body and outcome.
    CWebDownloader& Downloader() { return m_downloader; }

    void Start(const std::string& strUrl);
    // Nothing more is delivered; the transfer is taken out of the multi handle at once, or as
    // soon as libcurl returns when this comes from one of its callbacks.
    void Cancel();
    // The transfer is in the multi handle, or its outcome is still to be delivered.
    bool IsRunning() const { return m_bAdded || m_bStartFailed; }

    // Ends and deletes a transfer whose owner goes away: now, or, when this comes from inside
    // one of its own callbacks, once that has returned.
    static void Discard(CMultiTransfer* pTransfer);

private:
    friend struct CMultiHooks;

    struct Watch {
        QSocketNotifier* pRead = nullptr;
        QSocketNotifier* pWrite = nullptr;
    };

    void OnTimeout();
    void Act(int fd, int nEvents);
    void WatchSocket(int fd, bool bRead, bool bWrite);
    void UnwatchSocket(int fd);
    void Finish(int nCurlCode);
    void Detach();
    // Runs fn with the transfer marked busy (libcurl or the owner's callbacks on the stack).
    // False when the transfer was cancelled or discarded meanwhile: the caller returns at once.
    template <typename Fn> bool Busy(Fn fn);

    StatusFn m_fnStatus;
    DoneFn m_fnDone;
    CWebDownloader m_downloader;  // outlives the multi handle, whose connections call back into it
    void* m_pMulti = nullptr;     // the CURLM handle
    QTimer m_timer;
    std::map<int, Watch> m_watches;
    int m_nBusy = 0;
    bool m_bAdded = false;        // the easy handle is in the multi handle
    bool m_bStartFailed = false;  // the request could not be made; its outcome is on its way
    bool m_bCancelled = false;
    bool m_bDiscarded = false;
};
