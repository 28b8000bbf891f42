#include "link/SerialPortLink.h"

#include "link/SerialLatency.h"
#include "platform/LowLatency.h"

#include <QMetaObject>
#include <QSocketNotifier>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace {
constexpr short HANG_UP_FLAGS = POLLHUP | POLLERR | POLLNVAL;

// A failed read or write: EIO and ENXIO come from a port whose device went away.
LinkError ErrorOfIo(int nErrno, const char* what)
{
    if (nErrno == EIO || nErrno == ENXIO)
        return LinkError::FromErrno(nErrno, what, LinkFault::Gone);
    return LinkError::FromErrno(nErrno, what);
}

LinkError HangUpError() { return LinkError::FromErrno(EIO, "read", LinkFault::Gone); }

// Raw bytes at 9600 baud, 8 data bits, no parity, one stop bit, no flow control, receiver on,
// modem status ignored, reads that never wait in the driver.
void MakeRawLine(termios* pTio)
{
    ::cfmakeraw(pTio);
    pTio->c_cflag |= CLOCAL | CREAD;
    pTio->c_cflag &= ~(CSTOPB | CRTSCTS | PARENB | PARODD | CMSPAR);
    pTio->c_cflag = (pTio->c_cflag & ~CSIZE) | CS8;
    pTio->c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    pTio->c_cc[VMIN] = 0;
    pTio->c_cc[VTIME] = 0;
    ::cfsetispeed(pTio, B9600);
    ::cfsetospeed(pTio, B9600);
}
} // namespace

CSerialPortLink::CSerialPortLink(ILinkEvents& events) : m_events(events) {}

CSerialPortLink::~CSerialPortLink() { Close(); }

LinkError CSerialPortLink::Open(const std::string& device)
{
    Close();
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return LinkError::FromErrno(errno, "open");
    // Exclusive use: the lock refuses every second opener (root included); TIOCEXCL refuses
    // unprivileged openers already at open(), with EBUSY, which a lock held elsewhere means too.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int nErrno = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return LinkError::FromErrno(nErrno, "flock");
    }
    ::ioctl(fd, TIOCEXCL); // refused by what is no terminal, which nobody else can take either
    m_fd = fd;
    m_bTerminal = ::isatty(fd) == 1;
    m_pSession = std::make_shared<const int>(0);
    SetUpLine();
    // The unit answers each line with one byte, which an FTDI chip would otherwise hold for
    // its 16 ms latency timer.
    const int nLatency = RequestLowLatency(fd);
    WatchFd();
    PostNote(DescribeSerialLatency(device, nLatency));
    return {};
}

void CSerialPortLink::SetUpLine()
{
    // A port that cannot take the settings (a plain file, /dev/null) keeps its own and works.
    termios tio{};
    if (::tcgetattr(m_fd, &tio) == 0) {
        MakeRawLine(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }
    // The port runs with DTR and RTS both held inactive; drivers without modem lines refuse.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(m_fd, TIOCMBIC, &lines);
    // Bytes queued before this open belong to nobody.
    ::tcflush(m_fd, TCIOFLUSH);
}

void CSerialPortLink::WatchFd()
{
    if (!m_pReadNotifier) {
        m_pReadNotifier = std::make_unique<QSocketNotifier>(QSocketNotifier::Read);
        m_pWriteNotifier = std::make_unique<QSocketNotifier>(QSocketNotifier::Write);
        QObject::connect(m_pReadNotifier.get(), &QSocketNotifier::activated, m_pReadNotifier.get(),
                         [this] { OnReadable(); });
        QObject::connect(m_pWriteNotifier.get(), &QSocketNotifier::activated,
                         m_pWriteNotifier.get(), [this] { OnWritable(); });
    }
    m_pReadNotifier->setSocket(m_fd);
    m_pWriteNotifier->setSocket(m_fd);
    m_pReadNotifier->setEnabled(true);
}

// Events never come from inside Open: the note follows on the engine's next turn, unless the
// link was closed before.
void CSerialPortLink::PostNote(const std::string& note)
{
    const std::weak_ptr<const int> session = m_pSession;
    QMetaObject::invokeMethod(
        m_pReadNotifier.get(),
        [this, session, note] {
            if (!session.expired())
                m_events.OnLinkNote(note);
        },
        Qt::QueuedConnection);
}

void CSerialPortLink::Close()
{
    m_pSession.reset();
    m_strUnsent.clear();
    // Disabled before the descriptor goes: a notifier on a closed descriptor would spin.
    if (m_pReadNotifier) {
        m_pReadNotifier->setEnabled(false);
        m_pWriteNotifier->setEnabled(false);
    }
    if (m_fd < 0)
        return;
    // The exclusive flag belongs to the terminal, not to this descriptor: cleared, so that the
    // port can be opened again while another descriptor of it (a pseudo-terminal's) stays.
    ::ioctl(m_fd, TIOCNXCL);
    // What the driver has not sent yet is dropped: a port that stopped taking bytes (flow held,
    // a device that hangs) would otherwise hold close() for the driver's closing wait, up to
    // 30 s, on the engine's thread. Nothing the conversation needs is still queued when it
    // lets a port go.
    ::tcflush(m_fd, TCOFLUSH);
    ::close(m_fd); // releases the lock
    m_fd = -1;
}

LinkError CSerialPortLink::Write(std::string_view bytes)
{
    if (m_fd < 0)
        return LinkError::Make(LinkFault::NotOpen, "write: the port is not open");
    m_strUnsent.append(bytes);
    return SendUnsent();
}

LinkError CSerialPortLink::SendUnsent()
{
    while (!m_strUnsent.empty()) {
        const ssize_t put = ::write(m_fd, m_strUnsent.data(), m_strUnsent.size());
        if (put > 0) {
            m_strUnsent.erase(0, static_cast<std::size_t>(put));
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno == EAGAIN)
            break;
        const int nErrno = put == 0 ? EIO : errno;
        m_strUnsent.clear();
        m_pWriteNotifier->setEnabled(false);
        return ErrorOfIo(nErrno, "write");
    }
    m_pWriteNotifier->setEnabled(!m_strUnsent.empty());
    return {};
}

void CSerialPortLink::OnWritable()
{
    const LinkError error = SendUnsent();
    if (error)
        Fail(error);
}

void CSerialPortLink::OnReadable()
{
    const std::weak_ptr<const int> session = m_pSession;
    char buffer[READ_CHUNK_BYTES];
    for (int nRead = 0; nRead < MAX_READS_PER_WAKE; ++nRead) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got > 0) {
            m_events.OnLinkBytes(std::string_view(buffer, static_cast<std::size_t>(got)));
            if (session.expired())
                return; // closed, reopened or destroyed by the engine meanwhile
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno != EAGAIN) {
            Fail(ErrorOfIo(errno, "read"));
            return;
        }
        // Nothing there, or a hang-up: a raw terminal's read says 0 for both.
        if (HasHungUp())
            Fail(HangUpError());
        else if (got == 0 && !m_bTerminal)
            m_pReadNotifier->setEnabled(false); // end of a plain file: nothing ever comes
        return;
    }
}

bool CSerialPortLink::HasHungUp() const
{
    pollfd pfd{m_fd, POLLIN, 0};
    return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & HANG_UP_FLAGS) != 0;
}

void CSerialPortLink::Fail(const LinkError& error)
{
    Close();
    m_events.OnLinkFailed(error);
}
