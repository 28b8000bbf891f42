// kestova-flash --history against history files as they are found on disk: out of time order,
// with damaged lines, or not readable at all.
#include "FlashProcess.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

constexpr int RUN_TIMEOUT_MS = 20000;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The terminal column at which the byte at `at` stands (UTF-8: one column a character).
std::size_t Column(const std::string& text, std::size_t at)
{
    std::size_t column = 0;
    for (std::size_t i = 0; i < at && i < text.size(); ++i)
        column += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 ? 1 : 0;
    return column;
}

std::string Record(const std::string& time, const std::string& serial, const std::string& appAfter,
                   const std::string& result)
{
    std::string json = "{\"time\":\"" + time + "\",\"face\":\"kestova-flash\",\"model\":\"kx410\",";
    json +=
        "\"serial_number\":\"" + serial + "\",\"loader_before\":\"2.08\",\"app_before\":\"1.00\",";
    json += "\"loader_after\":\"2.08\",\"app_after\":" + appAfter +
            ",\"image_source\":\"/fw/kx410.fwr\",";
    json += "\"image_version\":\"1.07\",\"lines_sent\":41,\"lines_total\":41,";
    return json + "\"result\":\"" + result + "\",\"failed_at_line\":null,\"text\":\"Done.\"}";
}

class HistoryCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kx-history-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        std::filesystem::create_directories(m_dir + "/kestova");
        m_path = m_dir + "/kestova/history.jsonl";
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    // kestova-flash with the history of this test's state folder.
    std::vector<std::string> State() const { return {"/usr/bin/env", "XDG_STATE_HOME=" + m_dir}; }

    std::string m_dir;
    std::string m_path;
};

TEST_F(HistoryCli, RowsComeNewestFirstAndLinesThatAreNoRecordAreCounted)
{
    std::ofstream(m_path)
        << Record("2024-05-02T08:00:00Z", "222", "\"1.00\"", "finished")
        << "\n"
        // A number where the serial's text belongs, a count that is text.
        << "{\"time\":\"2024-05-04T00:00:00Z\",\"serial_number\":12345,\"lines_sent\":41,"
           "\"lines_total\":41,\"result\":\"verified\"}\n"
        << Record("2024-05-03T08:00:00Z", "333", "\"1.07\"", "verified") << "\n"
        << "{\"time\":\"2024-05-05T00:00:00Z\",\"serial_number\":\"9\",\"lines_sent\":\"41\","
           "\"lines_total\":41,\"result\":\"verified\"}\n"
        // Recorded later, but from a run that started before the others.
        << Record("2024-05-01T08:00:00Z", "111", "null", "not-verified") << "\n";

    CFlashProcess table({"--history"}, State());
    EXPECT_EQ(table.Wait(RUN_TIMEOUT_MS), 0) << table.Err();
    EXPECT_EQ(Lines(table.Err()),
              std::vector<std::string>{
                  "kestova-flash: 3 updates recorded; 2 lines could not be read (" + m_path + ")"});
    const std::vector<std::string> rows = Lines(table.Out());
    ASSERT_EQ(rows.size(), 4u) << table.Out();
    EXPECT_TRUE(Has(rows[1], "kx410 333") && Has(rows[1], "1.00 \u2192 1.07") &&
                Has(rows[1], "verified"))
        << rows[1];
    // Back on its old version, and not back at all: both finished, not verified.
    EXPECT_TRUE(Has(rows[2], "kx410 222") && Has(rows[2], "1.00 \u2192 1.00") &&
                Has(rows[2], "finished, not verified"))
        << rows[2];
    EXPECT_TRUE(Has(rows[3], "kx410 111") && Has(rows[3], "1.00 \u2192 ?") &&
                Has(rows[3], "finished, not verified"))
        << rows[3];
    // The columns line up on a terminal: the arrow is one column wide.
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_EQ(Column(rows[i], rows[i].find("41/41")), Column(rows[0], rows[0].find("LINES")))
            << rows[i];

    CFlashProcess json({"--history", "--json", "--serial", "222"}, State());
    EXPECT_EQ(json.Wait(RUN_TIMEOUT_MS), 0) << json.Err();
    const std::vector<std::string> objects = Lines(json.Out());
    ASSERT_EQ(objects.size(), 1u) << json.Out();
    EXPECT_TRUE(Has(objects[0], "\"app_after\":\"1.00\",") &&
                Has(objects[0], "\"result\":\"not-verified\""))
        << objects[0];
}

TEST_F(HistoryCli, AHistoryThatCannotBeReadEndsWithStatusOneAndItsReason)
{
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        const char* reason;
    };
    const Case cases[] = {
        {"a folder in its place",
         [](const std::string& path) { std::filesystem::create_directory(path); },
         "Is a directory"},
        {"a read that fails",
         [](const std::string& path) { std::filesystem::create_symlink("/proc/self/mem", path); },
         "Input/output error"},
        {"a pipe in its place", [](const std::string& path) { mkfifo(path.c_str(), 0600); },
         "not a plain file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(m_path);
        c.make(m_path);
        CFlashProcess flash({"--history"}, State());
        EXPECT_EQ(flash.Wait(RUN_TIMEOUT_MS), 1) << flash.Err();
        EXPECT_EQ(flash.Err(), "kestova-flash: the update history " + m_path +
                                   " cannot be read: " + c.reason + "\n");
        EXPECT_EQ(flash.Out(), "");
    }
}

} // namespace
