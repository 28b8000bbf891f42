// The little the command line needs of its terminal: whether a stream is one, how wide it is,
// and the bytes waiting on a descriptor without blocking.
#pragma once

#include <string>

constexpr int STDIN_FD = 0;
constexpr int STDOUT_FD = 1;
constexpr int STDERR_FD = 2;

bool IsTerminal(int fd);
// Columns of the terminal on fd; `fallback` when it is not one or does not say.
int TerminalColumns(int fd, int fallback);
// Appends what can be read from fd now to `text`; false at end of file or on an error.
bool ReadAvailable(int fd, std::string& text);
