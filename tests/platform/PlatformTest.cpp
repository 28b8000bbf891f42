// The program's own path and folder.
#include "platform/ProgramPath.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgramPath, DirectoryOfTheRunningProgram)
{
    const std::string exe = GetModuleFileName();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe.rfind(DirectoryOf(exe) + "/", 0), 0u);
    EXPECT_EQ(DirectoryOf("/opt/kestova/kestova-downloader"), "/opt/kestova");
    EXPECT_EQ(DirectoryOf("no-directory"), "no-directory");
}

} // namespace
