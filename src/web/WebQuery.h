// The addresses of the firmware service's two requests: the firmware query and the completion
// report, with every value percent-escaped.
#pragma once

#include <string>
#include <string_view>

// Percent-escapes everything but the unreserved characters (letters, digits, - . _ ~).
std::string PercentEscape(std::string_view strValue);

// strBaseUrl + "/firmware/kx410fw.php?sn=..&fw=..&ldr=..&done=<0|1>"; a '/' at the end of the
// base address is not doubled.
std::string BuildFirmwareUrl(std::string_view strBaseUrl, std::string_view strSerialNumber,
                             std::string_view strVersion, std::string_view strLoaderVersion,
                             bool bDone);
