// JSON string literals for the one-line JSON the programs write (reports, the history, the
// computer check): quotes and control characters escaped.
#pragma once

#include <string>

std::string JsonString(const std::string& text);
// null for an empty text.
std::string JsonOrNull(const std::string& text);
