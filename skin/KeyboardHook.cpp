#include "skin/KeyboardHook.h"

HHOOK g_hKeyboardHook = nullptr;
