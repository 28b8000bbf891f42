#include "app/MilestoneAnnouncer.h"

#include "app/Announcer.h"
#include "device/FirmwareImage.h"
#include "device/UpdateEngine.h"

#include <QTimer>

CMilestoneAnnouncer::CMilestoneAnnouncer(QWidget& window)
    : m_window(window), m_pAnnouncer(new CAnnouncer(&window))
{
}

void CMilestoneAnnouncer::Tell(const std::string& sentence)
{
    // A notification of a window that is not shown yet is never heard.
    if (!m_window.isVisible()) {
        m_pending.push_back(sentence);
        return;
    }
    Announce(sentence);
}

void CMilestoneAnnouncer::Announce(const std::string& sentence)
{
    m_pAnnouncer->Announce(QString::fromStdString(sentence));
}

void CMilestoneAnnouncer::OnShown()
{
    if (!m_pending.empty())
        QTimer::singleShot(0, m_pAnnouncer, [this] { TellPending(); });
}

void CMilestoneAnnouncer::TellPending()
{
    std::string sentence;
    for (const std::string& pending : m_pending)
        sentence += (sentence.empty() ? "" : " ") + pending;
    m_pending.clear();
    if (!sentence.empty())
        Announce(sentence);
}

void CMilestoneAnnouncer::OnUnitIdentified(const DeviceIdentity& identity)
{
    const bool bBackFromUpdate = !m_strUpdatedSerial.empty() && identity.m_strSerialNumber == m_strUpdatedSerial;
    m_strUpdatedSerial.clear();
    if (!bBackFromUpdate)
        Tell(IdentitySentence(identity) + " Press Open Local File or Get from Web.");
}

void CMilestoneAnnouncer::OnRunSucceeded(const DeviceIdentity& unit)
{
    m_strUpdatedSerial = unit.m_strSerialNumber;
}

void CMilestoneAnnouncer::OnRunEnded()
{
    m_strUpdatedSerial.clear();
    if (m_bVerdictInStep)
        return;
    m_bVerdictInStep = true;
    QTimer::singleShot(0, m_pAnnouncer, [this] { m_bVerdictInStep = false; });
}

void CMilestoneAnnouncer::OnImageReady(const EngineSnapshot::Image& image)
{
    // The image kept after an update's verdict is no news.
    if (m_bVerdictInStep)
        return;
    Tell(FoundFirmwareText(image.version) + ". Ready to update your kx410. Press Send.");
}

void CMilestoneAnnouncer::OnImageRefused(ImageRefusal why, const std::string& text)
{
    if (why == ImageRefusal::NotSuitable)
        Tell(text + ".");
}

void CMilestoneAnnouncer::OnDiagnosis(const std::string& sentence)
{
    if (!m_strPort.empty())
        m_strPortOutcome = sentence;
    else
        Tell(sentence);
}

void CMilestoneAnnouncer::BeginPort(const std::string& port)
{
    m_strPort = port;
    m_strPortOutcome.clear();
}

void CMilestoneAnnouncer::OnPortOpened()
{
    if (!m_strPort.empty())
        m_strPortOutcome = "open, waiting for the unit to answer.";
}

void CMilestoneAnnouncer::EndPort()
{
    const std::string port = m_strPort;
    m_strPort.clear();
    if (port.empty())
        return;
    Tell("Opening " +
         (port == CUpdateEngine::USB_PORT_NAME ? std::string("the Tetherix USB cable")
                                               : "port " + port) +
         ": " + (m_strPortOutcome.empty() ? "it could not be opened." : m_strPortOutcome));
}
