// CGameDlg: the game window, a borderless modeless dialog with the embedded
// browser.
#pragma once

#include <windows.h>

class CGameDlg {
public:
    // Creates the modeless game window with no owner; its window handle, or
    // null when it could not be created.
    HWND Create();

    HWND GetHwnd() const { return m_hWnd; }
    // The window hosting the browser control; null while there is none.
    HWND GetBrowserHostWindow() const { return m_hWndBrowserHost; }

private:
    HWND m_hWnd = nullptr;
    HWND m_hWndBrowserHost = nullptr;
};
