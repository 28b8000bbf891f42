// JSON string literals for the one-line JSON the programs write (reports, the history, the
// computer check): quotes and control characters escaped.
#pragma once

#include <string>

std::string JsonString(const std::string& text);
// null for an empty text.
std::string JsonOrNull(const std::string& text);
// A sentence for a JSON "text" field: every run of blanks, tabs and line ends (a notice's double
// spaces and paragraph breaks) made one space, none at either end.
std::string OneLine(const std::string& text);
