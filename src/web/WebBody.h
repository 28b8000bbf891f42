// Splitting the firmware service's answer into the lines of a firmware image.
#pragma once

#include <deque>
#include <string>
#include <string_view>

// Splits at every LF; a CR directly before the LF (or at the very end) is dropped with it,
// every other character is kept. Text after the last LF is the last line; an answer that ends
// with a line end gives no empty line after it, an empty answer gives one empty line.
std::deque<std::string> SplitWebBody(std::string_view strBody);
