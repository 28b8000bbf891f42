#include "device/DeviceNotices.h"

std::string CorruptProgramNotice(const std::string& model)
{
    return "The " + model + " reported a corrupt program was sent.  Reset the " + model +
           " and try again. \n\nPress OK";
}

std::string UpdateFailedNotice(const std::string& model)
{
    return "An error occured whilst updating the " + model + ".  \nCycle the power to the " +
           model + " and try again. \n\nPress OK";
}
