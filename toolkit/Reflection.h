// Reflection of child notifications: a parent sends what its controls told
// it back to the control that sent it, as the message number plus 0x2000
// (the OCM_ messages), so controls such as owner-drawn buttons handle their
// own notifications.
#pragma once

#include <windows.h>

inline constexpr UINT kReflectedBase = 0x2000;  // OCM__BASE

// The control that a notification sent to a parent came from, or null when
// the message is not a reflected kind or names no control: WM_COMMAND,
// WM_NOTIFY, WM_PARENTNOTIFY, WM_DRAWITEM, WM_MEASUREITEM, WM_COMPAREITEM,
// WM_DELETEITEM, WM_VKEYTOITEM, WM_CHARTOITEM, WM_HSCROLL, WM_VSCROLL and the
// WM_CTLCOLOR family.
HWND ReflectionTarget(HWND parent, UINT message, WPARAM wParam, LPARAM lParam);

// Sends the notification back to its control as OCM_ (message + 0x2000).
// True, with the control's answer in result, when there was a control.
bool ReflectNotifications(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

// For a control that got an OCM_ message it has no handler for: the default
// processing of the original notification. False for other messages.
bool DefaultReflectionHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
