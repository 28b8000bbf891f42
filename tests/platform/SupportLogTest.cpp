// The support log: rotation keeps a bounded number of bounded files, and the byte trace can be
// read by a person.
#include "platform/SupportLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

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
    log.Bytes(CSupportLog::EDirection::ToUnit, "15EBaa", 6, "ttyUSB0");
    const char reply[] = {'V', '1', '\r', '\n', '\x01', '\\', '\xff'};
    log.Bytes(CSupportLog::EDirection::FromUnit, reply, sizeof reply, "ttyUSB0");
    // A data line, its status line and the unit's answer make one entry.
    log.DataLine(":10000000AB", "ttyUSB0");
    log.Status(":10000000AB");
    log.Bytes(CSupportLog::EDirection::FromUnit, ".", 1, "ttyUSB0");
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
                           "sent ttyUSB0: 6 bytes \"15EBaa\"",
                           "recv ttyUSB0: 7 bytes \"V1\\r\\n\\x01\\\\\\xFF\"",
                           // The line waits for its link's next entry, not another link's.
                           "link USB: latency timer set to 2 ms",
                           "line ttyUSB0: :10000000AB \".\"",
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
TEST_F(SupportLogTest, EachDataLineOfAnUpdateIsOneEntryOfAtMost96Bytes)
{
    const std::string path = m_dir + "/downloader.log";
    constexpr int LINES = 2000;
    {
        CSupportLog log(path);
        for (int i = 0; i < LINES; ++i) {
            char line[64];
            std::snprintf(line, sizeof line, ":10%04X00%032d2F", (i * 16) & 0xFFFF, i);
            log.DataLine(line, "/dev/ttyUSB0");
            log.Status(line);
            log.Bytes(CSupportLog::EDirection::FromUnit, ".", 1, "/dev/ttyUSB0");
        }
    }
    std::istringstream lines(ReadAll(path));
    int entries = 0;
    for (std::string line; std::getline(lines, line); ++entries) {
        EXPECT_LE(line.size() + 1, 96u) << line;
        EXPECT_EQ(line.substr(line.size() - 4), " \".\"") << line;
    }
    EXPECT_EQ(entries, LINES);
}
} // namespace

namespace {
// The entries of a log's text without their timestamps.
std::vector<std::string> Entries(const std::string& text)
{
    std::istringstream lines(text);
    std::vector<std::string> entries;
    for (std::string line; std::getline(lines, line);)
        entries.push_back(line.substr(24));
    return entries;
}

// Two units updated at once: each line keeps its own reply, and each entry names its link.
TEST_F(SupportLogTest, InterleavedLinksKeepEachLineWithItsReply)
{
    CSupportLog log(m_dir + "/downloader.log");
    const auto from = CSupportLog::EDirection::FromUnit;
    log.DataLine(":10A", "ttyUSB0");
    log.DataLine(":10B", "ttyUSB1");
    log.Bytes(from, ".", 1, "ttyUSB1");
    log.Bytes(from, ".", 1, "ttyUSB0");
    log.DataLine(":20A", "ttyUSB0");
    log.LinkClosed("ttyUSB1", 0);
    log.Bytes(from, "/", 1, "ttyUSB0");
    log.Flush();
    EXPECT_EQ(Entries(log.SessionText()), (std::vector<std::string>{
                                              "line ttyUSB0: :10A \".\"",
                                              "line ttyUSB1: :10B \".\"",
                                              "close ttyUSB1: ok",
                                              "line ttyUSB0: :20A \"/\"",
                                          }));
}

// What the session says while a line is in flight (a stop requested, sleep held off, another
// unit's end and notice) leaves the line with its whole reply, however it arrives.
TEST_F(SupportLogTest, SessionEntriesWhileALineIsInFlightLeaveItWithItsReply)
{
    CSupportLog log(m_dir + "/downloader.log");
    const auto from = CSupportLog::EDirection::FromUnit;
    log.DataLine(":10A", "ttyUSB0");
    log.Bytes(from, "--", 2, "ttyUSB0");
    log.Note("Stop requested by SIGINT.");
    log.Status("ttyUSB1: failed after 3 of 41 lines");
    log.Bytes(from, "k", 1, "ttyUSB0");
    log.Notice("The kx410 reported a corrupt program");
    log.Bytes(from, "k.", 2, "ttyUSB0");
    // The reply is whole: the line's entry comes before what it leads to.
    log.LineAnswered("ttyUSB0");
    log.Notice("Update stopped after line 1 of 41.");
    log.LinkClosed("ttyUSB0", 0);
    EXPECT_EQ(Entries(log.SessionText()), (std::vector<std::string>{
                                              "note Stop requested by SIGINT.",
                                              "status ttyUSB1: failed after 3 of 41 lines",
                                              "notice The kx410 reported a corrupt program",
                                              "line ttyUSB0: :10A \"--kk.\"",
                                              "notice Update stopped after line 1 of 41.",
                                              "close ttyUSB0: ok",
                                          }));
}

// A unit waiting for hours costs a few entries an hour: its exchange once, a count a minute,
// and whatever changes; the link's next entry ends the keep-alive with its count.
TEST_F(SupportLogTest, KeepAliveIsTheExchangeOnceThenACountAMinute)
{
    const std::string path = m_dir + "/downloader.log";
    CSupportLog log(path);
    auto now = CSupportLog::Clock::now();
    log.SetClock([&now] { return now; });
    const auto exchange = [&](const char* reply, int seconds) {
        for (int i = 0; i < seconds * 16; ++i) { // 16 a second
            log.KeepAlive(CSupportLog::EDirection::ToUnit, "A", 1, "USB");
            log.KeepAlive(CSupportLog::EDirection::FromUnit, reply, 1, "USB");
            now += std::chrono::microseconds(62500);
        }
    };
    exchange("k", 150);
    exchange("K", 10);
    log.Bytes(CSupportLog::EDirection::ToUnit, "B", 1, "USB");
    log.Flush();
    EXPECT_EQ(Entries(ReadAll(path)), (std::vector<std::string>{
                                          "keepalive USB: sent 1 bytes \"A\"",
                                          "keepalive USB: recv 1 bytes \"k\"",
                                          "keepalive USB: 959 sent, 959 bytes received in 60.0 s",
                                          "keepalive USB: 960 sent, 960 bytes received in 60.0 s",
                                          "keepalive USB: 481 sent, 480 bytes received in 30.0 s",
                                          "keepalive USB: recv 1 bytes \"K\"",
                                          "keepalive USB: 159 sent, 159 bytes received in 10.0 s",
                                          "sent USB: 1 bytes \"B\"",
                                      }));
}

// The file cannot be written: the faces hear why once, the file never holds part of an
// entry, and the whole session stays in memory to be saved elsewhere.
TEST_F(SupportLogTest, AFileThatCannotBeWrittenIsToldOnceAndTheSessionKept)
{
    struct Case {
        const char* what;
        std::string path;
        std::size_t diskBytes; // what the disk takes before it is full
        const char* why;
    };
    std::ofstream(m_dir + "/file") << "x";
    const Case cases[] = {
        {"no home", "", 0, "neither HOME nor XDG_STATE_HOME is set"},
        {"folder not writable", m_dir + "/file/downloader.log", 0, "Not a directory"},
        {"disk full", m_dir + "/full.log", 300, "No space left on device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::size_t taken = 0;
        const auto smallDisk = [&](int fd, const char* data, std::size_t count) -> long {
            const std::size_t n = std::min(count, c.diskBytes - taken);
            if (n == 0) {
                errno = ENOSPC;
                return -1;
            }
            taken += n;
            return static_cast<long>(::write(fd, data, n));
        };
        CSupportLog log(c.path, CSupportLog::MAX_FILE_BYTES, smallDisk);
        std::vector<std::string> told;
        log.SetFailureHandler([&told](const std::string& why) { told.push_back(why); });
        for (int i = 0; i < 40; ++i) {
            log.Status("entry " + std::to_string(i) + " of the session");
            if (i % 8 == 0)
                log.Flush();
        }
        log.Flush();
        ASSERT_EQ(told.size(), 1u);
        EXPECT_NE(told[0].find(c.why), std::string::npos) << told[0];
        EXPECT_FALSE(log.IsWritingFile());
        EXPECT_EQ(log.LastError(), told[0]);
        const std::vector<std::string> session = Entries(log.SessionText());
        ASSERT_EQ(session.size(), 40u);
        EXPECT_EQ(session.back(), "status entry 39 of the session");
        if (c.diskBytes > 0) {
            const std::string file = ReadAll(c.path);
            EXPECT_GT(file.size(), 0u);
            EXPECT_LE(file.size(), c.diskBytes);
            EXPECT_EQ(file.back(), '\n');
            EXPECT_EQ(log.SessionText().rfind(file, 0), 0u) << file; // whole entries, in order
        }
        log.SetFailureHandler({});
    }
}
} // namespace
