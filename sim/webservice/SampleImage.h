// The sample programming file that the repository ships (sim/sample/kx410-sample.fwr),
// built into the simulated service as its default image.
#pragma once

#include <string>

// The file's text exactly as it is stored.
const std::string& SampleImageText();
