#include "E2eFixture.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

void E2eFixture::TearDown()
{
    unsetenv("KX_EXTRA_COM_PORTS");
    DialogFixture::TearDown();
}

void E2eFixture::ChoosePortFromListExpectingNoLink(const std::string& portName)
{
    if (portName != "USB")
        setenv("KX_EXTRA_COM_PORTS", portName.c_str(), 1);
    auto* combo = Page().PortList();
    combo->showPopup();
    const int index = combo->FindName(portName);
    ASSERT_GE(index, 0) << portName << " is not in the port list";
    combo->setCurrentIndex(index);
    combo->hidePopup();
    // The list announces its closing once the event loop runs again.
    QApplication::processEvents();
}

void E2eFixture::ChoosePortFromList(const std::string& portName)
{
    ChoosePortFromListExpectingNoLink(portName);
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->Engine().Phase() == EnginePhase::Connecting; }, 3000));
}

void E2eFixture::StartUpdate(const QStringList& unitOptions, int dataLines)
{
    ASSERT_TRUE(m_unit.Start(unitOptions));
    StartDialog();
    ChoosePortFromList(m_unit.PortName());
    ASSERT_TRUE(WaitForIdentified());
    OpenLocalFile(WriteImageFile(dataLines, nullptr));
    ASSERT_TRUE(Page().Send()->isEnabled());
}

std::string E2eFixture::SendExpectingNotice()
{
    CModalAnswerer answerer;
    answerer.Press("OK");
    Page().Send()->click();
    EXPECT_TRUE(answerer.WaitForAnswered(1, 15000));
    return answerer.Seen().empty() ? std::string() : answerer.Seen()[0].strText.toStdString();
}

bool E2eFixture::WaitForIdentified(int timeoutMs)
{
    return WaitUntil([&] { return m_dlg->Engine().Phase() == EnginePhase::Identified; }, timeoutMs);
}

std::string E2eFixture::WriteImageFile(int dataLines, std::vector<std::string>* pLines,
                                       const std::string& name)
{
    std::vector<std::string> lines;
    for (int i = 0; i + 1 < dataLines; ++i) {
        char record[64];
        std::snprintf(record, sizeof record, ":10%04X000C9434000C9434000C94340%02X", i * 16, i & 0xFF);
        lines.emplace_back(record);
    }
    lines.emplace_back(":0000000119");
    const std::string path = m_dir + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out << "VER:0107\r\nPID:0410\r\nINFO:Smoother servo response\r\n";
    for (const auto& line : lines)
        out << line << "\r\n";
    if (pLines)
        *pLines = lines;
    return path;
}

void E2eFixture::OpenLocalFile(const std::string& path)
{
    CModalAnswerer answerer;
    answerer.ChooseFile(QString::fromStdString(path));
    Page().OpenFile()->click();
    EXPECT_EQ(answerer.AnsweredCount(), 1);
}

bool E2eFixture::ListContains(const std::string& line) const
{
    const auto lines = ListLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int E2eFixture::CountOccurrences(const std::string& text, const std::string& what)
{
    int count = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size()))
        ++count;
    return count;
}
