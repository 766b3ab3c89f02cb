#include "skin/KeyboardHook.h"

#include <exdisp.h>
#include <oleidl.h>

#include "toolkit/ComOwners.h"
#include "toolkit/ControlHost.h"

HHOOK g_hKeyboardHook = nullptr;
HWND g_hBrowserHost = nullptr;

bool KeyboardMessageFor(WPARAM key, SHORT keyState, UINT* message) {
    UINT chosen = 0;
    if (key == VK_TAB && keyState < 0) {
        chosen = WM_KEYDOWN;  // the key is down
    } else if (key == VK_RETURN && keyState > 0) {
        chosen = WM_KEYUP;  // up, with its toggle bit set: every other press
    } else {
        return false;
    }
    if (message) *message = chosen;
    return true;
}

bool ForwardKeyToBrowser(HWND host, const MSG& msg) {
    CComPtr<IWebBrowser2> browser;
    if (FAILED(QueryHostedControl(host, IID_IWebBrowser2, browser)) || !browser) return false;
    CComPtr<IDispatch> document;
    // A browser that has shown no page yet answers with no document.
    if (FAILED(browser->get_Document(document.put())) || !document) return false;
    CComPtr<IOleInPlaceActiveObject> active;
    if (FAILED(document.QueryInterface(IID_IOleInPlaceActiveObject, active)) || !active) return false;
    MSG copy = msg;  // TranslateAccelerator takes a writable record
    active->TranslateAccelerator(&copy);
    return true;
}

LRESULT CALLBACK KeyboardProc(int code, WPARAM wParam, LPARAM lParam) {
    // The hook code is not examined, and the key is never swallowed.
    UINT message = 0;
    if (g_hBrowserHost && KeyboardMessageFor(wParam, ::GetKeyState(static_cast<int>(wParam)), &message)) {
        MSG msg{};
        msg.hwnd = g_hBrowserHost;
        msg.message = message;
        msg.wParam = wParam;
        msg.lParam = lParam;
        ForwardKeyToBrowser(g_hBrowserHost, msg);
    }
    return ::CallNextHookEx(g_hKeyboardHook, code, wParam, lParam);
}

bool InstallKeyboardHook() {
    if (!g_hKeyboardHook) {
        g_hKeyboardHook = ::SetWindowsHookExW(WH_KEYBOARD, KeyboardProc, nullptr, ::GetCurrentThreadId());
    }
    return g_hKeyboardHook != nullptr;
}

void RemoveKeyboardHook() {
    // A second removal finds the handle already gone and fails quietly.
    if (g_hKeyboardHook) ::UnhookWindowsHookEx(g_hKeyboardHook);
}
