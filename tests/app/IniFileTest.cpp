// The settings file: values of any length, case-insensitive names, other content kept,
// unreadable or unwritable files handled, atomic replacement, the file's nature kept, no value
// that adds a key, and memory bounded by the file's size.
#include "app/IniFile.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kx-ini-XXXXXX";
        m_dir = mkdtemp(pattern);
        m_path = m_dir + "/Kestova.ini";
        m_ini.SetPath(m_path.c_str());
    }
    void TearDown() override
    {
        chmod(m_dir.c_str(), 0700);
        fs::remove_all(m_dir);
    }
    void WriteFile(const std::string& content)
    {
        std::ofstream(m_path, std::ios::binary) << content;
    }
    std::string ReadFile() const { return ReadFileAt(m_path); }
    static std::string ReadFileAt(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string m_dir;
    std::string m_path;
    CIniFile m_ini;
};

TEST_F(IniFileTest, FirstWriteCreatesFileAndSectionAndValuesReadBack)
{
    EXPECT_FALSE(m_ini.KeyExists("Settings", "COM PORT"));
    EXPECT_TRUE(m_ini.WriteString("Settings", "LAST DIRECTORY", "/home/pilot/firmware"));
    EXPECT_TRUE(m_ini.WriteString("Settings", "COM PORT", ""));
    EXPECT_EQ(ReadFile(), "[Settings]\nLAST DIRECTORY=/home/pilot/firmware\nCOM PORT=\n");
    // Present with an empty value still counts as present.
    EXPECT_TRUE(m_ini.KeyExists("Settings", "COM PORT"));
    EXPECT_EQ(m_ini.GetString("Settings", "COM PORT", "default"), "");
    EXPECT_EQ(m_ini.GetString("Settings", "LAST DIRECTORY"), "/home/pilot/firmware");
}

TEST_F(IniFileTest, NamesMatchWithoutRegardToCaseAndRewriteKeepsOneKey)
{
    WriteFile("[settings]\ncom port=ttyUSB0\n");
    EXPECT_EQ(m_ini.GetString("Settings", "COM PORT"), "ttyUSB0");
    EXPECT_TRUE(m_ini.WriteString("SETTINGS", "Com Port", "USB"));
    EXPECT_EQ(ReadFile(), "[settings]\nCom Port=USB\n");
}

TEST_F(IniFileTest, OtherSectionsKeysAndCommentsAreKept)
{
    WriteFile("; written by hand\n[Other]\nCOM PORT=not this one\n\n[Settings]\n# note\n"
              "LAST DIRECTORY=/a\n\n[Tail]\nx=1\n");
    EXPECT_EQ(m_ini.GetString("Settings", "COM PORT", "none"), "none");
    EXPECT_TRUE(m_ini.WriteString("Settings", "COM PORT", "ttyACM0"));
    EXPECT_EQ(ReadFile(), "; written by hand\n[Other]\nCOM PORT=not this one\n\n[Settings]\n"
                          "# note\nLAST DIRECTORY=/a\nCOM PORT=ttyACM0\n\n[Tail]\nx=1\n");
    EXPECT_EQ(m_ini.GetString("Other", "COM PORT"), "not this one");
}

TEST_F(IniFileTest, ValuesOfAnyLengthAreReadWhole)
{
    for (size_t length : {510u, 511u, 512u, 1023u, 1024u, 5000u}) {
        const std::string value(length, 'd');
        ASSERT_TRUE(m_ini.WriteString("Settings", "LAST DIRECTORY", value.c_str()));
        EXPECT_EQ(m_ini.GetString("Settings", "LAST DIRECTORY"), value) << length;
    }
}

TEST_F(IniFileTest, LargeFileKeepsEveryLineOnWriteAndLongValuesReadWhole)
{
    // A 3 MB value, then filler that carries the file past 4 MiB, then a key beyond that.
    const std::string longValue = [] {
        std::string v(3 * 1000 * 1000, 'v');
        for (size_t i = 0; i < v.size(); i += 997)
            v[i] = static_cast<char>('a' + (i / 997) % 26);
        return v;
    }();
    std::string content = "[Settings]\nLONG=" + longValue + "\n[Filler]\n";
    for (int i = 0; content.size() < 4 * 1024 * 1024 + 4096; ++i)
        content += "line" + std::to_string(i) + "=" + std::string(100, 'f') + "\n";
    content += "[Tail]\nKEY=past the end\n";
    WriteFile(content);

    ASSERT_TRUE(m_ini.WriteString("Settings", "COM PORT", "USB"));
    ASSERT_EQ(m_ini.GetString("Tail", "KEY", "lost"), "past the end");
    const std::string after = ReadFile();
    EXPECT_EQ(after.size(), content.size() + std::string("COM PORT=USB\n").size());
    EXPECT_EQ(after.substr(after.size() - 4096), content.substr(content.size() - 4096));
    EXPECT_EQ(m_ini.GetString("Settings", "LONG"), longValue);
    EXPECT_EQ(m_ini.GetString("Settings", "COM PORT"), "USB");
}

TEST_F(IniFileTest, MissingSectionOrKeyGivesDefaultAndWritesNothing)
{
    EXPECT_EQ(m_ini.GetString(nullptr, "COM PORT", "dflt"), "dflt");
    EXPECT_EQ(m_ini.GetString("Settings", nullptr), "");
    EXPECT_FALSE(m_ini.WriteString(nullptr, "COM PORT", "x"));
    EXPECT_FALSE(m_ini.WriteString("Settings", nullptr, "x"));
    EXPECT_FALSE(m_ini.KeyExists(nullptr, "COM PORT"));
    EXPECT_FALSE(fs::exists(m_path));
}

TEST_F(IniFileTest, SentinelValueReadsAsAbsent)
{
    WriteFile(std::string("[Settings]\nCOM PORT=") + CIniFile::ABSENT_SENTINEL + "\n");
    EXPECT_FALSE(m_ini.KeyExists("Settings", "COM PORT"));
}

TEST_F(IniFileTest, BinaryJunkReadsAsEmptyAndIsNotLostOnWrite)
{
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk.push_back(static_cast<char>((i * 37) & 0xFF));
    WriteFile(junk);
    EXPECT_FALSE(m_ini.KeyExists("Settings", "COM PORT"));
    EXPECT_EQ(m_ini.GetString("Settings", "LAST DIRECTORY", "d"), "d");
    EXPECT_TRUE(m_ini.WriteString("Settings", "COM PORT", "USB"));
    EXPECT_EQ(m_ini.GetString("Settings", "COM PORT"), "USB");
}

TEST_F(IniFileTest, UnwritableDirectoryGivesDefaultsAndNoCrash)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only directories";
    chmod(m_dir.c_str(), 0500);
    EXPECT_FALSE(m_ini.WriteString("Settings", "COM PORT", "USB"));
    EXPECT_FALSE(m_ini.KeyExists("Settings", "COM PORT"));
}

TEST_F(IniFileTest, MissingDirectoryGivesDefaultsAndNoCrash)
{
    CIniFile ini;
    ini.SetPath("/nonexistent-dir-for-kx/Kestova.ini");
    EXPECT_FALSE(ini.WriteString("Settings", "COM PORT", "USB"));
    EXPECT_EQ(ini.GetString("Settings", "COM PORT", "dflt"), "dflt");
}

TEST_F(IniFileTest, WriteReplacesFileAtomicallyAndLeavesNoTemporary)
{
    WriteFile("[Settings]\nCOM PORT=ttyS0\n");
    struct stat before {};
    stat(m_path.c_str(), &before);
    ASSERT_TRUE(m_ini.WriteString("Settings", "COM PORT", "USB"));
    struct stat after {};
    stat(m_path.c_str(), &after);
    // A new file took the old one's place: a crash mid-write would have left the old one.
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_FALSE(fs::exists(m_path + ".tmp"));
}

TEST_F(IniFileTest, SetPathWithNoneEmptiesAHeldPath)
{
    m_ini.SetPath(nullptr);
    ASSERT_NE(m_ini.Path(), nullptr);
    EXPECT_STREQ(m_ini.Path(), "");
    CIniFile fresh;
    fresh.SetPath(nullptr);
    EXPECT_EQ(fresh.Path(), nullptr);
}

struct NatureCase {
    const char* what;
    bool bNeedsRoot;
    // Makes the file (or what stands at m_path) before the write.
    std::function<void(const std::string& dir, const std::string& path)> make;
    // Checks what stands at m_path after the write.
    std::function<void(const std::string& dir, const std::string& path)> check;
};

mode_t ModeOf(const std::string& path)
{
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

TEST_F(IniFileTest, WriteKeepsWhatTheFileIs)
{
    const std::string content = "[Settings]\nCOM PORT=ttyS0\n";
    const passwd* nobody = getpwnam("nobody");
    const NatureCase cases[] = {
        {"a symbolic link stays a link and its target is written", false,
         [&](const std::string& dir, const std::string& path) {
             fs::create_directory(dir + "/real");
             std::ofstream(dir + "/real/Kestova.ini") << content;
             fs::create_symlink("real/Kestova.ini", path);
         },
         [](const std::string& dir, const std::string& path) {
             EXPECT_TRUE(fs::is_symlink(path));
             EXPECT_NE(ReadFileAt(dir + "/real/Kestova.ini").find("COM PORT=USB"), std::string::npos);
         }},
        {"a hard link's other name sees the new content", false,
         [&](const std::string& dir, const std::string& path) {
             std::ofstream(path) << content;
             fs::create_hard_link(path, dir + "/other.ini");
         },
         [](const std::string& dir, const std::string&) {
             EXPECT_NE(ReadFileAt(dir + "/other.ini").find("COM PORT=USB"), std::string::npos);
         }},
        {"the mode stays", false,
         [&](const std::string&, const std::string& path) {
             std::ofstream(path) << content;
             chmod(path.c_str(), 0640);
         },
         [](const std::string&, const std::string& path) { EXPECT_EQ(ModeOf(path), 0640u); }},
        {"a read-only file stays read-only (root writes it, others may not)", false,
         [&](const std::string&, const std::string& path) {
             std::ofstream(path) << content;
             chmod(path.c_str(), 0444);
         },
         [](const std::string&, const std::string& path) { EXPECT_EQ(ModeOf(path), 0444u); }},
        {"the owner stays when root writes a user's file", true,
         [&](const std::string&, const std::string& path) {
             std::ofstream(path) << content;
             ASSERT_EQ(0, chown(path.c_str(), nobody->pw_uid, nobody->pw_gid));
         },
         [&](const std::string&, const std::string& path) {
             struct stat info {};
             stat(path.c_str(), &info);
             EXPECT_EQ(info.st_uid, nobody->pw_uid);
             EXPECT_EQ(info.st_gid, nobody->pw_gid);
         }},
    };
    const bool bRoot = geteuid() == 0;
    for (const NatureCase& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.bNeedsRoot && (!bRoot || nobody == nullptr))
            continue;
        fs::remove_all(m_dir);
        fs::create_directory(m_dir);
        c.make(m_dir, m_path);
        const bool bWritable = bRoot || access(m_path.c_str(), W_OK) == 0;
        EXPECT_EQ(m_ini.WriteString("Settings", "COM PORT", "USB"), bWritable);
        EXPECT_EQ(m_ini.GetString("Settings", "COM PORT"), bWritable ? "USB" : "ttyS0");
        c.check(m_dir, m_path);
        // No temporary file and no copy is left behind.
        size_t entries = 0;
        for (const auto& entry : fs::recursive_directory_iterator(m_dir))
            entries += entry.path().filename().string().find("Kestova.ini.") == 0 ? 1 : 0;
        EXPECT_EQ(entries, 0u);
    }
}

// A portable copy's file in a folder it may not write: written in place, while its copy waits
// in the user's state folder. Run as "nobody" when the test runs as root, who writes anywhere.
TEST_F(IniFileTest, WritableFileInAReadOnlyFolderIsWrittenInPlace)
{
    const passwd* nobody = getpwnam("nobody");
    if (geteuid() == 0 && nobody == nullptr)
        GTEST_SKIP() << "needs a user 'nobody' to drop root's privileges";
    WriteFile("[Settings]\nCOM PORT=ttyS0\n");
    const std::string state = m_dir + "/state";
    fs::create_directory(state);
    if (geteuid() == 0) {
        for (const std::string& path : {m_dir, m_path, state})
            ASSERT_EQ(0, chown(path.c_str(), nobody->pw_uid, nobody->pw_gid));
    }
    struct stat before {};
    stat(m_path.c_str(), &before);
    chmod(m_dir.c_str(), 0555);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0))
            _exit(2);
        setenv("XDG_STATE_HOME", state.c_str(), 1);
        _exit(m_ini.WriteString("Settings", "COM PORT", "USB") ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    chmod(m_dir.c_str(), 0700);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    struct stat after {};
    stat(m_path.c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(ReadFile(), "[Settings]\nCOM PORT=USB\n");
    EXPECT_TRUE(fs::is_empty(state + "/kestova"));
}

// Random writes against a model of what each key holds, starting from a file with CRLF line
// ends: a write either changes its own key and nothing else, or is refused and changes
// nothing; the line ends stay CRLF throughout.
TEST_F(IniFileTest, RandomWritesChangeOnlyTheirOwnKeyAndKeepTheLineEnds)
{
    WriteFile("; kept\r\n[Settings]\r\nCOM PORT=ttyS0\r\n\r\n[Other]\r\nx=1\r\n");
    std::map<std::pair<std::string, std::string>, std::string> model = {
        {{"Settings", "COM PORT"}, "ttyS0"}, {{"Other", "X"}, "1"}};
    const char* const sections[] = {"Settings", "Other", "New"};
    const char* const keys[] = {"COM PORT", "LAST DIRECTORY", "X", "FIRMWARE SERVICE"};
    const char* const pieces[] = {"a", "b", "/", " ", "=", "[", "]", ";", "\n", "\r",
                                  "\r\n", "LAST DIRECTORY=/etc", "[Settings]", "#"};
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    auto pick = [&](auto& items) { return items[random() % std::size(items)]; };
    for (int step = 0; step < 300; ++step) {
        const std::string section = pick(sections);
        const std::string key = pick(keys);
        std::string value;
        for (unsigned n = random() % 5; n > 0; --n)
            value += pick(pieces);
        const bool bAccepted = m_ini.WriteString(section.c_str(), key.c_str(), value.c_str());
        ASSERT_EQ(bAccepted, value.find_first_of("\r\n") == std::string::npos)
            << testing::PrintToString(value);
        if (bAccepted) {
            const auto first = value.find_first_not_of(' ');
            value = first == std::string::npos ? "" : value.substr(first, value.find_last_not_of(' ') - first + 1);
            model[{section, key}] = value;
        }
        for (const char* s : sections)
            for (const char* k : keys) {
                const auto it = model.find({s, k});
                ASSERT_EQ(m_ini.GetString(s, k, "absent"), it == model.end() ? "absent" : it->second)
                    << "step " << step << " [" << s << "] " << k;
            }
    }
    const std::string text = ReadFile();
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        ASSERT_TRUE(at > 0 && text[at - 1] == '\r') << "line end at " << at;
}

// Reading and writing a 50 MB file, in a child process so that its peak memory is its own.
TEST_F(IniFileTest, LargeFileCostsLessThanTwiceItsSizeInMemory)
{
    constexpr size_t FILE_BYTES = 50u * 1000 * 1000;
    {
        std::ofstream out(m_path, std::ios::binary);
        out << "[Settings]\nCOM PORT=ttyS0\n[Filler]\n";
        const std::string line = "k=" + std::string(60, 'f') + "\n";
        for (size_t written = 0; written < FILE_BYTES; written += line.size())
            out << line;
        out << "[Tail]\nKEY=end\n";
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rusage before {};
        getrusage(RUSAGE_SELF, &before);
        const bool bOk = m_ini.GetString("Tail", "KEY") == "end" &&
                         m_ini.WriteString("Settings", "COM PORT", "USB") &&
                         m_ini.WriteString("Tail", "NEW", "value") &&
                         m_ini.GetString("Settings", "COM PORT") == "USB";
        rusage after {};
        getrusage(RUSAGE_SELF, &after);
        const long grownKb = after.ru_maxrss - before.ru_maxrss;
        _exit(!bOk ? 2 : grownKb * 1000 > static_cast<long>(2 * FILE_BYTES) ? 3 : 0);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 2) << "the values were not read or written";
    EXPECT_NE(WEXITSTATUS(status), 3) << "peak memory grew by more than twice the file's size";
    const std::string tail = "[Tail]\nKEY=end\nNEW=value\n";
    std::ifstream in(m_path, std::ios::binary);
    in.seekg(-static_cast<std::streamoff>(tail.size()), std::ios::end);
    std::string end(tail.size(), '\0');
    in.read(end.data(), static_cast<std::streamsize>(end.size()));
    EXPECT_EQ(end, tail);
}

} // namespace
