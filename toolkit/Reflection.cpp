#include "toolkit/Reflection.h"

HWND ReflectionTarget(HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_HSCROLL:
        case WM_VSCROLL:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<HWND>(lParam);
        case WM_NOTIFY:
            return lParam ? reinterpret_cast<const NMHDR*>(lParam)->hwndFrom : nullptr;
        case WM_PARENTNOTIFY: {
            const UINT event = LOWORD(wParam);
            if (event == WM_CREATE || event == WM_DESTROY) return reinterpret_cast<HWND>(lParam);
            return ::GetDlgItem(parent, HIWORD(wParam));
        }
        case WM_DRAWITEM:
            return wParam && lParam ? reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem : nullptr;
        case WM_MEASUREITEM:
            return wParam && lParam ? ::GetDlgItem(parent, reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam)->CtlID)
                                    : nullptr;
        case WM_COMPAREITEM:
            return wParam && lParam ? reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam)->hwndItem : nullptr;
        case WM_DELETEITEM:
            return wParam && lParam ? reinterpret_cast<const DELETEITEMSTRUCT*>(lParam)->hwndItem : nullptr;
        default:
            return nullptr;
    }
}

bool ReflectNotifications(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    const HWND child = ReflectionTarget(parent, message, wParam, lParam);
    if (!child || !::IsWindow(child)) return false;
    result = ::SendMessageW(child, kReflectedBase + message, wParam, lParam);
    return true;
}

bool DefaultReflectionHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message < kReflectedBase) return false;
    const UINT original = message - kReflectedBase;
    switch (original) {
        case WM_COMMAND: case WM_NOTIFY: case WM_PARENTNOTIFY: case WM_DRAWITEM: case WM_MEASUREITEM:
        case WM_COMPAREITEM: case WM_DELETEITEM: case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_HSCROLL:
        case WM_VSCROLL: case WM_CTLCOLORBTN: case WM_CTLCOLORDLG: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORMSGBOX: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC:
            result = ::DefWindowProcW(window, original, wParam, lParam);
            return true;
        default:
            return false;
    }
}
