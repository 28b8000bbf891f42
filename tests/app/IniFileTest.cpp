// The settings file: values of any length, case-insensitive names, other content kept,
// unreadable or unwritable files handled, atomic replacement.
#include "app/IniFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
    std::string ReadFile() const
    {
        std::ifstream in(m_path, std::ios::binary);
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

} // namespace
