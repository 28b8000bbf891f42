// A main dialog started as the program starts it, with its settings file in a fresh temporary
// directory and the port enumeration pointed at a fake device tree, for tests that drive the
// real dialog.
#pragma once

#include "ModalAnswerer.h"
#include "WindowPage.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class DialogFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the settings file before the dialog starts.
    void WriteSettings(const std::string& content);
    std::string ReadSettings() const;
    // Adds a serial port to the fake device tree ("usb" or "pnp" bus).
    void AddFakePort(const std::string& name, const std::string& bus = "usb");
    void RemoveFakePort(const std::string& name);
    // Constructs the dialog and runs its start-up; the window is shown (offscreen).
    void StartDialog();
    // Closes the dialog the way Exit does, answering a confirmation with Yes when asked.
    void StopDialog();

    std::vector<std::string> ListLines() const;
    std::vector<std::string> PortEntries() const;
    bool WaitUntil(const std::function<bool()>& predicate, int timeoutMs = 5000);
    // Makes the dialog the active window, as a click on it would; false when it does not become so.
    bool ActivateWindow();
    // Presses and releases a key where the keyboard goes: an open menu, else the focused control.
    void PressKey(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    std::string m_dir;      // the program directory (settings file lives here)
    std::string m_sysfs;    // the fake /sys/class/tty (the enumeration root is its /sys)
    // The running window, as tests drive it.
    CWindowPage Page() const { return CWindowPage(*m_dlg); }

    std::unique_ptr<CDownloaderDlg> m_dlg;
};
