#pragma once

// The Win32 serial and registry functions that SerialWin uses. On Windows they
// are the system's own; elsewhere LinuxWin32.h provides the same functions
// with the same meaning on termios, so that SerialWin is one code path.
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include "LinuxWin32.h"
#endif
