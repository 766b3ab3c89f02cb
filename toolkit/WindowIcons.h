// A window's taskbar and caption icons from one icon resource.
#pragma once

#include <windows.h>

// Gives window the icon resource iconId of this executable at the system's
// large and small icon sizes (WM_SETICON). The icons are shared: nobody
// destroys them. Returns the small one, or null.
HICON SetWindowIcons(HWND window, WORD iconId);
