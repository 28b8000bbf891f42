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

std::string NoticeWithReason(const std::string& notice, const std::string& reason)
{
    if (reason.empty())
        return notice;
    const std::string paragraph = "\n\n";
    const std::size_t last = notice.rfind(paragraph);
    if (last == std::string::npos ||
        notice.find_first_not_of(' ', last + paragraph.size()) != notice.find("Press OK", last))
        return notice + paragraph + reason;
    return notice.substr(0, last) + paragraph + reason + notice.substr(last);
}

std::string NoticeText(const std::string& notice)
{
    const std::string PRESS_OK = "Press OK";
    std::string text = notice;
    const std::size_t at = text.rfind("\n\n" + PRESS_OK);
    if (at != std::string::npos)
        text.erase(at, 2 + PRESS_OK.size());
    else if (text.size() >= PRESS_OK.size() &&
             text.compare(text.size() - PRESS_OK.size(), PRESS_OK.size(), PRESS_OK) == 0)
        text.erase(text.size() - PRESS_OK.size());
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}
