// The string table holds the program's texts character for character.
#include "res/StringTable.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

TEST(StringTable, HoldsEveryTextExactly)
{
    const std::vector<std::pair<int, std::string>> expected = {
        {101, "&About Bootloader"},
        {102, "Unplug the Tetherix Cable from the computer and Kestova device. \n\nPress Continue"},
        {103, "Plug the Tetherix Cable into a spare USB socket on this computer.  If required, "
              "install the correct drivers for the Tetherix Cable. \n\nPress Continue"},
        {104, "Tetherix was not detected on this computer.   Ensure that Tetherix is plugged into "
              "a spare USB socket on this computer and the correct drivers are installed.\n\n"
              "Press OK"},
        {105, "Found Tetherix Cable on"},
        {106, "Unable to open Tetherix.  Check that the Tetherix not being used by another "
              "program, it is plugged into this computer and the correct driver has been "
              "installed.  \n\nPress OK"},
        {108, "\nPlug the Tetherix Cable (3 Pin Servo Connector end) into the Kestova devices USB "
              "Interface \n\nPress OK"},
        {109, "Trying to connect. Check that the device is powered on"},
        {112, "An unexpected end of file was found, please check programming file\n\nPress OK"},
        {115, "Operating System is not supported.  Please read release notes for futher "
              "information.\n\n Press OK"},
        {117, "Echo test passed.\n\nPress OK"},
        {118, "Echo test failed. Check echo link.\n\nPress OK"},
    };
    for (const auto& [nId, strText] : expected)
        EXPECT_EQ(LoadString(nId), strText) << "string " << nId;
}

TEST(StringTable, IdsItDoesNotHoldGiveAnEmptyText)
{
    for (const int nId : {107, 110, 111, 113, 114, 116, 100, 119, 0, -1, 1004})
        EXPECT_EQ(LoadString(nId), "") << "string " << nId;
}

TEST(StringTable, NamedIdsMatchTheirTexts)
{
    EXPECT_EQ(LoadString(IDS_ABOUTBOX), "&About Bootloader");
    EXPECT_EQ(LoadString(IDS_FOUND_CABLE_ON), "Found Tetherix Cable on");
    EXPECT_EQ(LoadString(IDS_TRYING_TO_CONNECT),
              "Trying to connect. Check that the device is powered on");
    EXPECT_EQ(IDS_UNPLUG_PROMPT, 102);
    EXPECT_EQ(IDS_PLUG_INTO_DEVICE, 108);
    EXPECT_EQ(IDS_ECHO_FAILED, 118);
}
