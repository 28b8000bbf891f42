// The support log: rotation keeps a bounded number of bounded files, and the byte trace can be
// read by a person.
#include "platform/SupportLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SupportLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kx-log-XXXXXX";
        m_dir = mkdtemp(pattern);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string m_dir;
};

TEST_F(SupportLogTest, RotationKeepsThreeFilesNoneOverTheLimitNewestFirst)
{
    constexpr std::uintmax_t LIMIT_BYTES = 400;
    const std::string path = m_dir + "/nested/downloader.log";
    {
        // An earlier session left a full file: it is rotated before anything is added.
        fs::create_directories(m_dir + "/nested");
        std::ofstream(path) << std::string(LIMIT_BYTES, 'x') << "\n";
    }
    CSupportLog log(path, LIMIT_BYTES);
    ASSERT_TRUE(log.IsWritingFile()) << log.LastError();
    for (int i = 0; i < 60; ++i)
        log.Status("line " + std::to_string(i));
    log.Flush();

    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(m_dir + "/nested")) {
        files.push_back(entry.path().filename().string());
        EXPECT_LE(fs::file_size(entry.path()), LIMIT_BYTES) << entry.path();
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"downloader.log", "downloader.log.1",
                                               "downloader.log.2"}));
    const std::string newest = ReadAll(path);
    EXPECT_NE(newest.find("status line 59\n"), std::string::npos);
    EXPECT_EQ(ReadAll(path + ".2").find("xxxx"), std::string::npos); // the old file is gone
    // The newest file begins with the session's opening lines, then goes on with its newest
    // entries; the session in memory ends with them and never outgrows the files.
    const std::string session = log.SessionText();
    EXPECT_LE(session.size(), 3 * LIMIT_BYTES);
    const std::size_t repeated = newest.find("... the opening lines of this session");
    ASSERT_NE(repeated, std::string::npos) << newest;
    EXPECT_NE(newest.find(" status line 0\n"), std::string::npos) << newest;
    EXPECT_EQ(session.substr(0, repeated), newest.substr(0, repeated));
    const std::string rest = newest.substr(newest.find('\n', repeated) + 1);
    EXPECT_EQ(session.substr(session.size() - rest.size()), rest);
}

TEST_F(SupportLogTest, EntriesAreTimestampedLinesAndBytesAreEscaped)
{
    CSupportLog log(m_dir + "/downloader.log");
    log.Bytes(CSupportLog::EDirection::ToUnit, "15EBaa", 6);
    const char reply[] = {'V', '1', '\r', '\n', '\x01', '\\', '\xff'};
    log.Bytes(CSupportLog::EDirection::FromUnit, reply, sizeof reply);
    // A data line, its status line and the unit's answer make one entry.
    log.DataLine(":10000000AB", &log);
    log.Status(":10000000AB");
    log.Bytes(CSupportLog::EDirection::FromUnit, ".", 1, &log);
    log.LinkNote("USB", "latency timer set to 2 ms");
    log.LinkOpened("ttyUSB0", 13, "Permission denied");
    log.Notice("Two\nlines");

    std::istringstream lines(ReadAll(m_dir + "/downloader.log"));
    std::vector<std::string> entries;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_GT(line.size(), 24u);
        EXPECT_EQ(line[4], '-');  // "YYYY-MM-DD HH:MM:SS.mmm "
        EXPECT_EQ(line[19], '.');
        entries.push_back(line.substr(24));
    }
    EXPECT_EQ(entries, (std::vector<std::string>{
                           "sent 6 bytes \"15EBaa\"",
                           "recv 7 bytes \"V1\\r\\n\\x01\\\\\\xFF\"",
                           "line :10000000AB \".\"",
                           "link USB: latency timer set to 2 ms",
                           "open ttyUSB0: error 13: Permission denied",
                           "notice Two\\nlines",
                       }));
    EXPECT_EQ(log.SessionText(), ReadAll(m_dir + "/downloader.log"));
}

TEST_F(SupportLogTest, LongSessionKeepsItsBeginningAndNewestPartInBoundedMemory)
{
    const std::string path = m_dir + "/downloader.log";
    CSupportLog log(path);
    const std::string padding(80, 'p');
    int lines = 0;
    std::uintmax_t written = 0;
    const auto writtenNow = [&] {
        log.Flush();
        return fs::file_size(path) + (fs::exists(path + ".1") ? fs::file_size(path + ".1") : 0);
    };
    while (written < CSupportLog::SESSION_MEMORY_BYTES + CSupportLog::MAX_FILE_BYTES / 2) {
        log.Status("line " + std::to_string(lines++) + " " + padding);
        if (lines % 500 == 0)
            written = writtenNow();
    }
    written = writtenNow();
    // The newest file begins with the session's opening lines again; they are not new entries.
    const std::string newestFile = ReadAll(path);
    const std::size_t repeatedEnd = newestFile.find(" it goes on here ...\n");
    if (repeatedEnd != std::string::npos)
        written -= newestFile.find('\n', repeatedEnd) + 1;
    const std::string session = log.SessionText();
    EXPECT_LE(session.size(), CSupportLog::SESSION_MEMORY_BYTES);
    EXPECT_NE(session.find("status line 0 "), std::string::npos);
    const std::string newest = "status line " + std::to_string(lines - 1) + " " + padding + "\n";
    EXPECT_EQ(session.substr(session.size() - newest.size()), newest);

    // What was left out is said in bytes, and with it nothing is missing or repeated.
    const std::size_t said = session.find("... ");
    ASSERT_NE(said, std::string::npos);
    const std::size_t saidEnd = session.find('\n', said) + 1;
    const std::uintmax_t leftOut = std::stoull(session.substr(said + 4));
    EXPECT_EQ(session.size() - (saidEnd - said) + leftOut, written);
    EXPECT_EQ(session[said - 1], '\n'); // whole entries on both sides
    EXPECT_EQ(session[saidEnd + 4], '-'); // the next entry begins with its timestamp
}

} // namespace

namespace {
// An update's trace costs one short entry per line on disk, whatever else is logged with it.
TEST_F(SupportLogTest, EachDataLineOfAnUpdateIsOneEntryOfAtMost80Bytes)
{
    const std::string path = m_dir + "/downloader.log";
    constexpr int LINES = 2000;
    {
        CSupportLog log(path);
        for (int i = 0; i < LINES; ++i) {
            char line[64];
            std::snprintf(line, sizeof line, ":10%04X00%032d2F", (i * 16) & 0xFFFF, i);
            log.DataLine(line, &log);
            log.Status(line);
            log.Bytes(CSupportLog::EDirection::FromUnit, ".", 1, &log);
        }
    }
    std::istringstream lines(ReadAll(path));
    int entries = 0;
    for (std::string line; std::getline(lines, line); ++entries) {
        EXPECT_LE(line.size() + 1, 80u) << line;
        EXPECT_EQ(line.substr(line.size() - 4), " \".\"") << line;
    }
    EXPECT_EQ(entries, LINES);
}
} // namespace
