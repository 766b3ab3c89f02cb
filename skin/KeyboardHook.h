// The start window's keyboard hook for the main thread.
#pragma once

#include <windows.h>

// The installed hook, or null. Removed when the start window goes and once
// more by the restart step (a second removal fails quietly).
extern HHOOK g_hKeyboardHook;
