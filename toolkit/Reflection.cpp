#include "toolkit/Reflection.h"

#include <algorithm>
#include <iterator>

namespace {

// The notifications a parent sends back to the control they concern.
constexpr UINT kReflectedMessages[] = {
    WM_COMMAND,     WM_NOTIFY,      WM_PARENTNOTIFY,
    WM_DRAWITEM,    WM_MEASUREITEM, WM_COMPAREITEM,  WM_DELETEITEM,
    WM_VKEYTOITEM,  WM_CHARTOITEM,  WM_HSCROLL,      WM_VSCROLL,
    WM_CTLCOLORBTN, WM_CTLCOLORDLG, WM_CTLCOLOREDIT, WM_CTLCOLORLISTBOX, WM_CTLCOLORMSGBOX, WM_CTLCOLORSCROLLBAR,
    WM_CTLCOLORSTATIC,
};

bool IsReflected(UINT message) {
    return std::find(std::begin(kReflectedMessages), std::end(kReflectedMessages), message) !=
           std::end(kReflectedMessages);
}

}  // namespace

HWND ReflectionTarget(HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsReflected(message)) return nullptr;
    switch (message) {
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
            // WM_COMMAND, the item-key messages, the scroll bars and the
            // WM_CTLCOLOR family name their control in lParam.
            return reinterpret_cast<HWND>(lParam);
    }
}

bool ReflectNotifications(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    const HWND child = ReflectionTarget(parent, message, wParam, lParam);
    if (!child || !::IsWindow(child)) return false;
    result = ::SendMessageW(child, kReflectedBase + message, wParam, lParam);
    return true;
}

bool DefaultReflectionHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message < kReflectedBase || !IsReflected(message - kReflectedBase)) return false;
    result = ::DefWindowProcW(window, message - kReflectedBase, wParam, lParam);
    return true;
}
