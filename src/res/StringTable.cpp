#include "res/StringTable.h"

#include <array>
#include <utility>

namespace {

// Texts are kept character for character, blanks included; "\n" is a line break.
constexpr std::array<std::pair<int, const char*>, 12> STRING_TABLE = {{
    {IDS_ABOUTBOX, "&About Bootloader"},
    {IDS_UNPLUG_PROMPT,
     "Unplug the Tetherix Cable from the computer and Kestova device. \n\nPress Continue"},
    {IDS_PLUG_IN_PROMPT,
     "Plug the Tetherix Cable into a spare USB socket on this computer.  If required, install "
     "the correct drivers for the Tetherix Cable. \n\nPress Continue"},
    {IDS_NOT_DETECTED,
     "Tetherix was not detected on this computer.   Ensure that Tetherix is plugged into a "
     "spare USB socket on this computer and the correct drivers are installed.\n\nPress OK"},
    {IDS_FOUND_CABLE_ON, "Found Tetherix Cable on"},
    {IDS_UNABLE_TO_OPEN,
     "Unable to open Tetherix.  Check that the Tetherix not being used by another program, it "
     "is plugged into this computer and the correct driver has been installed.  \n\nPress OK"},
    {IDS_PLUG_INTO_DEVICE,
     "\nPlug the Tetherix Cable (3 Pin Servo Connector end) into the Kestova devices USB "
     "Interface \n\nPress OK"},
    {IDS_TRYING_TO_CONNECT, "Trying to connect. Check that the device is powered on"},
    {IDS_UNEXPECTED_EOF,
     "An unexpected end of file was found, please check programming file\n\nPress OK"},
    {IDS_OS_NOT_SUPPORTED,
     "Operating System is not supported.  Please read release notes for futher "
     "information.\n\n Press OK"},
    {IDS_ECHO_PASSED, "Echo test passed.\n\nPress OK"},
    {IDS_ECHO_FAILED, "Echo test failed. Check echo link.\n\nPress OK"},
}};

} // namespace

std::string LoadString(int nId)
{
    for (const auto& [nEntryId, pszText] : STRING_TABLE)
        if (nEntryId == nId)
            return pszText;
    return std::string();
}
