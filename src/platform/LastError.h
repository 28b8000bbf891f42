// The calling thread's last error code, for operations that report failure as a plain
// false and leave the reason beside it.
#pragma once

#include "platform/WinTypes.h"

void SetLastError(DWORD code);
DWORD GetLastError();
