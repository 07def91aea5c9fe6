// The engine speaks to the platform by its Win32 names only: the system's on Windows, the
// project's own layer (platform/win32.h) everywhere else.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include "platform/win32.h"
#endif
