// Programming files of any size for demos and benchmarks: a kx410 header, data records of
// the sample's shape and the end record, every line ended by CR LF.
#pragma once

#include <string>

// An image of `dataLines` data lines (at least 1: the end record), version 1.07 (the version the simulated unit reports after an update).
std::string GenerateImageText(int dataLines);
