// A later start of the program hands its file to the running window: a file that cannot be
// opened is said at once with its path and why; one that can waits for the unit.
#include "DialogFixture.h"

#include <filesystem>
#include <fstream>

namespace {

using HandOver = DialogFixture;

TEST_F(HandOver, AFileThatCannotBeOpenedIsSaidWithItsPathAndWhy)
{
    StartDialog();
    std::filesystem::create_directories(m_dir + "/folder.fwr");
    std::ofstream(m_dir + "/unit.fwr") << "VER:0107\r\n";
    struct Case {
        std::string path;
        std::string line; // what the status list says of it
    };
    const Case cases[] = {
        {m_dir + "/missing.fwr",
         "The file " + m_dir + "/missing.fwr cannot be opened: No such file or directory."},
        {m_dir + "/folder.fwr",
         "The file " + m_dir + "/folder.fwr cannot be opened: Is a directory."},
        {m_dir + "/unit.fwr",
         m_dir + "/unit.fwr will be opened once a unit is identified: waiting for the unit."},
    };
    for (const Case& c : cases) {
        m_dlg->OnSecondStart(c.path);
        const std::vector<std::string> lines = ListLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), c.line);
    }
}

} // namespace
