// Notices of the programming run that name the connected unit's model, and how a notice is
// given the reason for what it reports.
#pragma once

#include <string>

// "The kx410 reported a corrupt program was sent.  Reset the kx410 and try again. \n\nPress OK",
// with model in place of kx410.
std::string CorruptProgramNotice(const std::string& model);

// "An error occured whilst updating the kx410.  \nCycle the power to the kx410 and try again.
// \n\nPress OK", with model in place of kx410.
std::string UpdateFailedNotice(const std::string& model);

// `notice` with `reason` as a paragraph of its own before the "Press OK" it ends with (after it
// when it has none); `notice` as it is when there is no reason.
std::string NoticeWithReason(const std::string& notice, const std::string& reason);

// The notice without its "Press OK" (a button that only the notice has), wherever it stands: at
// the end, or before the sentence that says what to do; no blank or line end is left at its end.
std::string NoticeText(const std::string& notice);
