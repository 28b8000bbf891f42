// kestova-flash --history: the update history of this account, newest first, as a table or as
// one JSON object per update, optionally of one unit only.
#pragma once

#include "device/UpdateRecord.h"

#include <cstdio>
#include <string>
#include <vector>

class CUpdateHistory;

// The table's lines, a heading first; the columns as wide as their widest value.
std::vector<std::string> HistoryTable(const std::vector<UpdateRecord>& records);

// Prints the history to `out` (errors to `err`); the exit status: 0, or 1 when it cannot be read.
int PrintHistory(std::FILE* out, std::FILE* err, const CUpdateHistory& history, const std::string& serial,
                 bool bJson);
