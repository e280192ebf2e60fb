#pragma once

// A test's own port list, wherever the tests run: on Linux its own
// XDG_RUNTIME_DIR (and so its own port map), on Windows the system's list
// emptied for the test. Either way a window made meanwhile lists only the
// ports the test adds.

#ifdef _WIN32
#include "PrivatePortList.h"
using PrivatePorts = PrivatePortList;
#else
#include "PrivateRuntimeDir.h"
using PrivatePorts = PrivateRuntimeDir;
#endif
