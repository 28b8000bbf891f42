// The milestones of an update, said to a screen reader: the unit identified, the image ready,
// the run started, the port opened or not, every failure and the start hint. Only milestones:
// the status rows in between are there to be read, not said.
#include "app/DownloaderDlg.h"

#include "app/Announcer.h"
#include "app/PortCombo.h"
#include "device/FirmwareImage.h"

#include <QTimer>

#include <cstdio>

namespace {
std::string PortSpoken(const std::string& name)
{
    return name == CUpdateEngine::USB_PORT_NAME ? "the Tetherix USB cable" : "port " + name;
}
} // namespace

void CDownloaderDlg::TellMilestone(const std::string& sentence)
{
    // A notification of a window that is not shown yet is never heard.
    if (!isVisible()) {
        m_pendingMilestones.push_back(sentence);
        return;
    }
    Announce(sentence);
}

void CDownloaderDlg::TellPendingMilestones()
{
    std::string sentence;
    for (const std::string& pending : m_pendingMilestones)
        sentence += (sentence.empty() ? "" : " ") + pending;
    m_pendingMilestones.clear();
    if (!sentence.empty())
        Announce(sentence);
}

void CDownloaderDlg::showEvent(QShowEvent* e)
{
    m_stop.WatchWindow();
    QDialog::showEvent(e);
    // Once the screen reader has taken in the window that appeared.
    if (!m_pendingMilestones.empty())
        QTimer::singleShot(0, this, [this] { TellPendingMilestones(); });
}

void CDownloaderDlg::OnImageReady(const EngineSnapshot::Image& image)
{
    TellMilestone(FoundFirmwareText(image.version) + ". Ready to update your kx410. Press Send.");
}

void CDownloaderDlg::OnImageRefused(ImageRefusal why, const std::string& text)
{
    if (why == ImageRefusal::NotSuitable)
        TellMilestone(text + ".");
}

void CDownloaderDlg::OnUnitIdentified(const DeviceIdentity& identity)
{
    TellMilestone(IdentitySentence(identity) + " Press Open Local File or Get from Web.");
    if (m_strStartFile.empty())
        return;
    // Opened once the engine has finished with the identification and Open Local File can be
    // used, as if the user had chosen the file then.
    QTimer::singleShot(0, this, [this] { OpenStartFileWhenIdentified(); });
}

// Why a port or the cable cannot be used: while the user's choice is opened it is the choice's
// outcome, said with it; otherwise it is said on its own.
void CDownloaderDlg::OnDiagnosis(const std::string& sentence)
{
    std::fprintf(stderr, "%s\n", sentence.c_str());
    if (m_bTellingPort)
        m_strPortOutcome = sentence;
    else
        TellMilestone(sentence);
}

// A port chosen in the list (open or closed) or found by Detect: the port and what became of it
// are said, since the list itself says nothing of a choice made while it is closed.
void CDownloaderDlg::ConnectSelectedPort()
{
    const std::string port = SelectedPort();
    m_strPortOutcome.clear();
    m_bTellingPort = !port.empty();
    m_engine.ChoosePort(port);
    m_engine.ConnectChosenPort();
    m_bTellingPort = false;
    if (port.empty())
        return;
    TellMilestone("Opening " + PortSpoken(port) + ": " +
                  (m_strPortOutcome.empty() ? "it could not be opened." : m_strPortOutcome));
}
