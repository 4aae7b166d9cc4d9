// <windows.h> as the Windows platform layer includes it: without the min and
// max macros, which would break std::numeric_limits, and without the rarely
// used parts.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
