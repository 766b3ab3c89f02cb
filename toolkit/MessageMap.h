// The message map of a window object: every window and dialog class of the
// toolkit answers its messages through one.
#pragma once

#include <windows.h>

class CMessageMap {
protected:
    ~CMessageMap() = default;

    // Returns true when it handled the message, with the message's result in
    // `result`; false leaves the message to the default processing.
    virtual bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

    // The map's answer for a window or dialog procedure. An exception thrown
    // inside the map counts as "not handled": nothing escapes the procedure.
    bool CallMessageMap(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept {
        try {
            return ProcessWindowMessage(window, message, wParam, lParam, result);
        } catch (...) {
            return false;
        }
    }
};
