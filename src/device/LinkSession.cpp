#include "device/LinkSession.h"

#include "device/ReceivedText.h"
#include "link/ComPortEnum.h"
#include "link/PortDiagnosis.h"
#include "link/PortUsers.h"
#include "platform/SupportLog.h"

#include <cerrno>
#include <utility>

namespace {
const std::string DEVICE_PREFIX = "/dev/";

bool AddPortName(void* context, const ComPortInfo& info)
{
    static_cast<std::vector<std::string>*>(context)->emplace_back(info.portName);
    return true;
}

// A name from the port list ("ttyUSB0") or a device path ("/dev/ttyUSB0", "/tmp/unit").
std::string DevicePath(const std::string& portName)
{
    return portName.find('/') == 0 ? portName : DEVICE_PREFIX + portName;
}
} // namespace

CLinkSession::~CLinkSession() { Release(); }

std::vector<std::string> CLinkSession::ListSerialPorts()
{
    std::vector<std::string> names;
    EnumerateComPorts(&AddPortName, &names);
    return names;
}

ILink& CLinkSession::LinkOf(LinkKind kind)
{
    std::unique_ptr<ILink>& pLink = kind == LinkKind::Usb ? m_pUsbLink : m_pSerialLink;
    if (!pLink)
        pLink = m_linkFactory ? m_linkFactory(kind, *this) : MakeDefaultLink(kind, *this);
    return *pLink;
}

LinkError CLinkSession::OpenSerial(const std::string& portName)
{
    const std::string device = DevicePath(portName);
    m_strDiagnosis.clear();
    // A program that holds the port without a lock would share the unit's replies with us, and
    // opening it would throw away its pending input: such a port is left alone.
    const std::vector<PortUser> users = FindPortUsers(device, m_roots);
    if (!users.empty()) {
        m_pLink = nullptr;
        m_strDiagnosis = ExplainPortInUse(device, users);
        m_lastOpenError = LinkError::Make(LinkFault::Busy, "in use by another program");
        return m_lastOpenError;
    }
    ILink& link = LinkOf(LinkKind::Serial);
    m_bOpening = true;
    m_lastOpenError = link.Open(device);
    m_bOpening = false;
    if (m_lastOpenError) {
        m_pLink = nullptr;
        // A port that was never open here was not unplugged: it is not there (or mistyped).
        const bool bMissing = m_lastOpenError.Errno() == ENOENT && device != m_strName;
        m_strDiagnosis = bMissing
                             ? ExplainMissingPort(portName, ListSerialPorts())
                             : ExplainPortOpenFailure(device, m_lastOpenError.Errno(), m_roots);
        Trace(true, device, m_lastOpenError.Code(), m_strDiagnosis);
        return m_lastOpenError;
    }
    m_pLink = &link;
    m_kind = LinkKind::Serial;
    Trace(true, device, 0);
    return {};
}

LinkError CLinkSession::OpenUsb(bool bQuiet)
{
    m_strDiagnosis.clear();
    ILink& link = LinkOf(LinkKind::Usb);
    m_bOpening = true;
    m_lastOpenError = link.Open(USB_PORT_NAME);
    m_bOpening = false;
    if (m_lastOpenError) {
        const std::string sentence = link.OpenFailure().strSentence;
        if (!bQuiet)
            m_strDiagnosis = sentence;
        Trace(true, USB_PORT_NAME, 1, sentence);
        return m_lastOpenError;
    }
    m_pLink = &link;
    m_kind = LinkKind::Usb;
    Trace(true, USB_PORT_NAME, 0);
    return {};
}

LinkOpenFailure CLinkSession::UsbFailure() { return LinkOf(LinkKind::Usb).OpenFailure(); }

void CLinkSession::HoldUsb()
{
    m_pLink = &LinkOf(LinkKind::Usb);
    m_kind = LinkKind::Usb;
}

int CLinkSession::UsbReopenDelayMs() { return LinkOf(LinkKind::Usb).ReopenDelayMs(); }

bool CLinkSession::ProbeUsb()
{
    ILink& link = LinkOf(LinkKind::Usb);
    m_bOpening = true;
    const LinkError error = link.Open(USB_PORT_NAME);
    m_bOpening = false;
    // A probe leaves no open or close entry, only how the cable was set up.
    for (const std::string& note : std::exchange(m_openingNotes, {}))
        if (m_pSupportLog != nullptr)
            m_pSupportLog->LinkNote(USB_PORT_NAME, note);
    if (error) {
        m_strDiagnosis = link.OpenFailure().strSentence;
        return false;
    }
    link.Release();
    return true;
}

void CLinkSession::CloseForReset()
{
    if (m_pLink == nullptr || !m_pLink->IsOpen())
        return;
    m_pLink->Close();
    Trace(false, m_kind == LinkKind::Usb ? USB_PORT_NAME : m_strName, 0);
}

void CLinkSession::Release()
{
    if (m_pLink == nullptr)
        return;
    const bool bWasOpen = m_pLink->IsOpen();
    m_pLink->Release();
    if (bWasOpen)
        Trace(false, m_kind == LinkKind::Usb ? USB_PORT_NAME : m_strName, 0);
    m_pLink = nullptr;
}

LinkError CLinkSession::Write(std::string_view bytes, TraceAs trace)
{
    if (m_pSupportLog != nullptr && trace != TraceAs::Untraced) {
        if (trace == TraceAs::KeepAlive)
            m_pSupportLog->KeepAlive(CSupportLog::EDirection::ToUnit, bytes.data(), bytes.size(),
                                     m_strName);
        else
            m_pSupportLog->Bytes(CSupportLog::EDirection::ToUnit, bytes.data(), bytes.size(),
                                 m_strName);
    }
    if (m_pLink == nullptr)
        return LinkError::Make(LinkFault::NotOpen, "write: no link is in use");
    return m_pLink->Write(bytes);
}

void CLinkSession::Trace(bool bOpened, const std::string& name, unsigned long code,
                         const std::string& detail)
{
    if (bOpened && code == 0)
        m_strName = name;
    if (m_pSupportLog != nullptr) {
        if (bOpened)
            m_pSupportLog->LinkOpened(name, code, detail);
        else
            m_pSupportLog->LinkClosed(name, code, detail);
    }
    if (bOpened && code == 0) {
        for (const std::string& note : m_openingNotes)
            OnLinkNote(note);
    }
    m_openingNotes.clear();
}

// The keep-alive of an identified unit, many a second for as long as it waits, is counted
// rather than traced byte by byte.
void CLinkSession::OnLinkBytes(std::string_view bytes)
{
    if (m_pSupportLog != nullptr) {
        if (m_bCountKeepAlive)
            m_pSupportLog->KeepAlive(CSupportLog::EDirection::FromUnit, bytes.data(), bytes.size(),
                                     m_strName);
        else
            m_pSupportLog->Bytes(CSupportLog::EDirection::FromUnit, bytes.data(), bytes.size(),
                                 m_strName);
    }
    m_events.OnSessionText(CleanReceivedBytes(bytes.data(), bytes.size()));
}

void CLinkSession::OnLinkFailed(const LinkError& error)
{
    Trace(false, m_strName, error.Code(), error.Text());
    m_events.OnSessionFailed(error);
}

void CLinkSession::OnLinkNote(const std::string& note)
{
    if (m_bOpening) {
        m_openingNotes.push_back(note);
        return;
    }
    if (m_pSupportLog != nullptr)
        m_pSupportLog->LinkNote(m_strName, note);
}
