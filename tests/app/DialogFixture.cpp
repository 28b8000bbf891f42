#include "DialogFixture.h"

#include "app/StatusList.h"
#include "link/ComPortEnum.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

void DialogFixture::SetUp()
{
    char pattern[] = "/tmp/kx-dlg-XXXXXX";
    m_dir = mkdtemp(pattern);
    m_sysfs = m_dir + "/sys/class/tty";
    fs::create_directories(m_sysfs);
    // The user's own settings and log never meet a test's.
    setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
    setenv("XDG_STATE_HOME", (m_dir + "/state").c_str(), 1);
    SetComPortSysfsRoot(m_dir + "/sys");
}

void DialogFixture::TearDown()
{
    if (m_dlg) {
        CModalAnswerer answerer;
        answerer.PressOnAnyOther("Yes").AllowUnused();
        m_dlg->Engine().Shutdown();
        m_dlg.reset();
    }
    SetComPortSysfsRoot("/sys");
    fs::remove_all(m_dir);
}

void DialogFixture::WriteSettings(const std::string& content)
{
    std::ofstream(m_dir + "/Kestova.ini", std::ios::binary) << content;
}

std::string DialogFixture::ReadSettings() const
{
    std::ifstream in(m_dir + "/Kestova.ini", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void DialogFixture::AddFakePort(const std::string& name, const std::string& bus)
{
    // /sys/class/tty/<name>/device -> a device directory whose subsystem is the bus.
    const std::string deviceDir = m_dir + "/devices/" + name;
    fs::create_directories(deviceDir);
    fs::create_directories(m_dir + "/bus/" + bus);
    fs::create_directory_symlink(m_dir + "/bus/" + bus, deviceDir + "/subsystem");
    fs::create_directories(m_sysfs + "/" + name);
    fs::create_directory_symlink(deviceDir, m_sysfs + "/" + name + "/device");
}

void DialogFixture::RemoveFakePort(const std::string& name)
{
    fs::remove_all(m_sysfs + "/" + name);
}

void DialogFixture::StartDialog()
{
    m_dlg = std::make_unique<CDownloaderDlg>();
    m_dlg->SetProgramDirOverride(m_dir);
    m_dlg->OnInitDialog();
    m_dlg->show();
}

void DialogFixture::StopDialog()
{
    CModalAnswerer answerer;
    answerer.PressOnAnyOther("Yes");
    m_dlg->OnCancel();
}

std::vector<std::string> DialogFixture::ListLines() const
{
    // A line wrapped over several rows is one line again.
    std::vector<std::string> lines;
    for (int i = 0; i < Page().List()->count(); ++i) {
        const QListWidgetItem* row = Page().List()->item(i);
        const std::string text = row->text().toStdString();
        if (row->data(CStatusList::CONTINUATION_ROLE).toBool() && !lines.empty())
            lines.back() += text;
        else
            lines.push_back(text);
    }
    return lines;
}

std::vector<std::string> DialogFixture::PortEntries() const
{
    std::vector<std::string> entries;
    for (int i = 0; i < Page().PortList()->count(); ++i)
        entries.push_back(Page().PortList()->NameAt(i));
    return entries;
}

bool DialogFixture::WaitUntil(const std::function<bool()>& predicate, int timeoutMs)
{
    return CModalAnswerer::WaitUntil(predicate, timeoutMs);
}

bool DialogFixture::ActivateWindow()
{
    m_dlg->activateWindow();
    return WaitUntil([&] { return QApplication::activeWindow() == m_dlg.get(); });
}

void DialogFixture::PressKey(int key, Qt::KeyboardModifiers modifiers)
{
    QWidget* target = QApplication::activePopupWidget();
    if (target == nullptr)
        target = QApplication::focusWidget();
    if (target == nullptr)
        target = m_dlg.get();
    const QString text = key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde
                             ? QString(QChar(key)).toLower()
                             : QString();
    const QPointer<QWidget> pTarget = target;
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    if (pTarget.isNull())
        return;
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(pTarget, &release);
}
