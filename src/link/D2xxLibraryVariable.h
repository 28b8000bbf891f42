// The environment variable that names FTDI's D2XX library (a name or a path), for a library
// installed outside the loader's search path.
#pragma once

inline constexpr const char* D2XX_LIBRARY_VARIABLE = "KX_FTD2XX_LIBRARY";
