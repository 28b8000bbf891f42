// The bench's rows as CSV (RFC 4180: comma-separated, fields with a comma, quote or line end
// quoted, CRLF line ends), one line per channel after a header line, for a service record.
#pragma once

#include "app/bench/BenchRow.h"

#include <string>
#include <vector>

std::string BenchCsv(const std::vector<const CBenchRow*>& rows);

// One CSV field, quoted when it must be.
std::string CsvField(const std::string& value);
