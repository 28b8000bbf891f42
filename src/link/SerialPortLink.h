// A serial port as the link to the unit: a tty opened for this program alone, raw 9600 8N1
// without flow control, read and written through socket notifiers on the engine's thread.
#pragma once

#include "link/Link.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

class QSocketNotifier;

class CSerialPortLink : public ILink {
public:
    // Bytes handed to OnLinkBytes at once: one read of the port (the support log traces each).
    static constexpr std::size_t READ_CHUNK_BYTES = 100;
    // Reads at most done for one wake-up of the read notifier before the event loop gets a
    // turn again (the notifier wakes at once for the rest).
    static constexpr int MAX_READS_PER_WAKE = 64;

    explicit CSerialPortLink(ILinkEvents& events);
    ~CSerialPortLink() override;
    CSerialPortLink(const CSerialPortLink&) = delete;
    CSerialPortLink& operator=(const CSerialPortLink&) = delete;

    // Opens `device` ("/dev/ttyUSB0", a /dev/serial/by-id link, a pseudo-terminal's slave)
    // on the calling thread, which must run an event loop. bQuiet changes nothing here.
    LinkError Open(const std::string& device) override;
    void Close() override;
    LinkError Write(std::string_view bytes) override;
    bool IsOpen() const override { return m_fd >= 0; }

    // Bytes that Write accepted and the port has not taken yet.
    std::size_t UnsentBytes() const { return m_strUnsent.size(); }

private:
    void SetUpLine();
    void WatchFd();
    void PostNote(const std::string& note);
    void OnReadable();
    void OnWritable();
    // Hands the driver what it takes of m_strUnsent; arms the write notifier for the rest.
    LinkError SendUnsent();
    bool HasHungUp() const;
    // Closes the link and tells the engine why; nothing of this object is used afterwards.
    void Fail(const LinkError& error);

    ILinkEvents& m_events;
    int m_fd = -1;
    bool m_bTerminal = false;
    std::string m_strUnsent;
    // Created on the first Open's thread, kept (disabled) while closed and pointed at the new
    // descriptor on each Open, so that no notifier is destroyed by a Close from its own signal.
    std::unique_ptr<QSocketNotifier> m_pReadNotifier;
    std::unique_ptr<QSocketNotifier> m_pWriteNotifier;
    // One token per open session: a handler that called the engine checks through a weak
    // reference that the link was neither closed nor destroyed meanwhile.
    std::shared_ptr<const int> m_pSession;
};
