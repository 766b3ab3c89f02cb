// What the window tests share: a window class of their own, where windows
// and their controls are, letting posted messages arrive, and destroying a
// shown window without waiting. Header only.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

// Registers a window class of this module whose procedure is proc; a class
// already there is left as it is.
inline void RegisterTestWindowClass(const wchar_t* name, WNDPROC proc) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = name;
    ::RegisterClassW(&windowClass);
}

inline RECT WindowRect(HWND window) {
    RECT rc{};
    ::GetWindowRect(window, &rc);
    return rc;
}

inline RECT WorkArea() {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

// Whether placed is width by height and centred in area: the same margin on
// both sides, give or take the odd pixel.
inline ::testing::AssertionResult IsCentredIn(const RECT& placed, const RECT& area, int width, int height) {
    const int placedWidth = placed.right - placed.left;
    const int placedHeight = placed.bottom - placed.top;
    const int sideMargins = (placed.left - area.left) - (area.right - placed.right);
    const int topAndBottomMargins = (placed.top - area.top) - (area.bottom - placed.bottom);
    if (placedWidth == width && placedHeight == height && std::abs(sideMargins) <= 1 &&
        std::abs(topAndBottomMargins) <= 1) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << placedWidth << "x" << placedHeight << " at (" << placed.left << ", "
                                         << placed.top << ") in (" << area.left << ", " << area.top << ")-("
                                         << area.right << ", " << area.bottom << "), not " << width << "x" << height
                                         << " centred";
}

// The top-left corner of parent's control id in parent's client coordinates.
inline POINT ClientOrigin(HWND parent, int id) {
    RECT rc = WindowRect(::GetDlgItem(parent, id));
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    return {rc.left, rc.top};
}

inline bool IsControlVisible(HWND parent, int id) { return ::IsWindowVisible(::GetDlgItem(parent, id)) != FALSE; }

// Dispatches every message waiting for this thread; WM_QUIT included is
// taken off the queue.
inline void DispatchPendingMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
}

// Destroys a shown top-level window without the pause Wine makes for a
// window manager to withdraw it (up to two seconds; Xvfb has none): the
// window is marked hidden first, so nothing is unmapped and waited for.
inline void DestroyShownWindow(HWND window) {
    ::SetWindowLongW(window, GWL_STYLE, ::GetWindowLongW(window, GWL_STYLE) & ~WS_VISIBLE);
    ::DestroyWindow(window);
}
