// The start window's keyboard hook for the main thread.
#pragma once

#include <windows.h>

// The installed hook, or null. Removed when the start window goes and once
// more by the restart step (a second removal fails quietly).
extern HHOOK g_hKeyboardHook;

// The start dialog's browser host window, or null; set once it has hosted
// its browser and never cleared.
extern HWND g_hBrowserHost;

// The WH_KEYBOARD procedure of the main thread: Tab and Return are offered to
// the browser page in g_hBrowserHost, and every key goes on to the next hook.
LRESULT CALLBACK KeyboardProc(int code, WPARAM wParam, LPARAM lParam);

// Which message the page is given for key, whose GetKeyState value is
// keyState: WM_KEYDOWN for Tab while it is down, WM_KEYUP for Return when it
// is up with its toggle bit set. False, and *message untouched, otherwise.
bool KeyboardMessageFor(WPARAM key, SHORT keyState, UINT* message);

// Offers msg to the accelerator translation of the document shown by the
// browser hosted in host. True when the translation was reached, whatever
// it answered; false when there is no browser, document or in-place object.
bool ForwardKeyToBrowser(HWND host, const MSG& msg);

// Installs the hook for the calling thread unless one was installed before;
// true when g_hKeyboardHook holds a hook.
bool InstallKeyboardHook();

// Removes the hook. g_hKeyboardHook keeps its value, so the hook is never
// installed again in this process.
void RemoveKeyboardHook();
