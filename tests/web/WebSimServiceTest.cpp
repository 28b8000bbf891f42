// The sample programming file and the simulated service program that serves it.
#include "FirmwareWebService.h"
#include "SampleImage.h"
#include "SimProcess.h"
#include "web/WebBody.h"
#include "WebFetch.h"
#include "web/WebQuery.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

constexpr auto PORT_FILE_WAIT = std::chrono::seconds(10);

std::string ReadFile(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool HasTag(const std::string& strLine)
{
    return strLine.find("VER:") != std::string::npos || strLine.find("PID:") != std::string::npos ||
           strLine.find("INFO:") != std::string::npos;
}

} // namespace

TEST(SampleImage, IsAProgrammingFileForTheKx410)
{
    const std::string strFile = ReadFile(KX_SAMPLE_FWR);
    ASSERT_EQ(SampleImageText(), strFile);
    EXPECT_EQ(strFile.find('\r'), std::string::npos);

    std::deque<std::string> lines = SplitWebBody(strFile);
    EXPECT_EQ(lines.at(0), "VER:0107");
    EXPECT_EQ(lines.at(1), "PID:0410");
    EXPECT_EQ(lines.at(2).rfind("INFO:", 0), 0u);
    lines.erase(lines.begin(), lines.begin() + 3);
    ASSERT_GE(lines.size(), 40u);
    for (const std::string& strLine : lines) {
        EXPECT_FALSE(strLine.empty());
        EXPECT_FALSE(HasTag(strLine)) << strLine;
        EXPECT_EQ(strLine.find_first_of("./"), std::string::npos) << strLine;
    }
    EXPECT_NE(lines.back().substr(lines.back().size() - 4).find("19"), std::string::npos);
}

TEST(ToCrLfLines, MakesEveryLineEndCrLf)
{
    EXPECT_EQ(ToCrLfLines("a\nb\r\nc\rd"), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(ToCrLfLines("\n\r\n"), "\r\n\r\n");
    EXPECT_EQ(DefaultServiceImage(), ToCrLfLines(SampleImageText()));
}

TEST(WebSimProgram, ServesTheSampleAndAppendsEachReportToItsFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string strPortFile = dir.filePath("port").toStdString();
    const std::string strReports = dir.filePath("reports").toStdString();
    CSimProcess process(KX_WEBSIM_EXE, {"--port", "0", "--port-file", strPortFile, "--reports", strReports},
                        false);
    ASSERT_TRUE(process.IsRunning());
    const auto deadline = std::chrono::steady_clock::now() + PORT_FILE_WAIT;
    std::string strPort;
    while (strPort.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        strPort = ReadFile(strPortFile);
    }
    ASSERT_FALSE(strPort.empty());
    const std::string strBase = "http://127.0.0.1:" + std::to_string(std::stoi(strPort));

    const WebAnswer answer = Fetch(BuildFirmwareUrl(strBase, "00123456", "0105", "0102", false));
    ASSERT_TRUE(answer.bDownloaded);
    EXPECT_EQ(answer.strBody, DefaultServiceImage());
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(Fetch(BuildFirmwareUrl(strBase, "00123456", "0107", "0102", true)).bDownloaded);
    process.Stop();
    EXPECT_EQ(ReadFile(strReports), "sn=00123456&fw=0107&ldr=0102&done=1\nsn=00123456&fw=0107&ldr=0102&done=1\n");
}
