// A window object attached to an existing window by subclassing: its message
// map sees every message first, and what it does not handle goes to the
// window's previous procedure.
#pragma once

#include <windows.h>

#include "toolkit/MessageMap.h"

class CSubclassedWindow : public CMessageMap {
public:
    CSubclassedWindow() = default;
    virtual ~CSubclassedWindow();
    CSubclassedWindow(const CSubclassedWindow&) = delete;
    CSubclassedWindow& operator=(const CSubclassedWindow&) = delete;

    // Replaces window's procedure with ours and keeps the previous one for
    // default processing. False when window is null or already has an object.
    bool SubclassWindow(HWND window);
    // Gives the window its previous procedure back.
    HWND UnsubclassWindow();

    HWND m_hWnd = nullptr;

protected:
    // Called after the window's last message (WM_NCDESTROY).
    virtual void OnFinalMessage(HWND) {}
    // The previous window procedure's answer to the message.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC m_pfnSuperWindowProc = ::DefWindowProcW;
};
