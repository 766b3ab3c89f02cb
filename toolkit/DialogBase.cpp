#include "toolkit/DialogBase.h"

#include "toolkit/Centring.h"
#include "toolkit/Reflection.h"

namespace {

constexpr wchar_t kObjectProperty[] = L"Quillmoor.DialogObject";

// The dialog being created on this thread: its first message (WM_SETFONT
// comes before WM_INITDIALOG) ties the window to it.
thread_local CDialogBase* t_creating = nullptr;

// These messages give their result as the dialog procedure's return value;
// every other one through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
        case WM_COMPAREITEM: case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_INITDIALOG: case WM_QUERYDRAGICON:
        case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC:
            return true;
        default:
            return false;
    }
}

CentringRect ToCentring(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

}  // namespace

template <typename CreateFunction>
auto CDialogBase::CreateFromTemplate(CreateFunction create) {
    t_creating = this;
    const auto result = create(m_module ? m_module : ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId));
    t_creating = nullptr;
    return result;
}

INT_PTR CDialogBase::DoModal(HWND owner, LPARAM initParam) {
    return CreateFromTemplate([&](HINSTANCE module, LPCWSTR name) {
        return ::DialogBoxParamW(module, name, owner, DialogProc, initParam);
    });
}

HWND CDialogBase::Create(HWND owner, LPARAM initParam) {
    return CreateFromTemplate([&](HINSTANCE module, LPCWSTR name) {
        return ::CreateDialogParamW(module, name, owner, DialogProc, initParam);
    });
}

bool CDialogBase::EndDialog(INT_PTR result) { return ::EndDialog(m_hWnd, result) != FALSE; }

bool CDialogBase::CenterWindow() {
    RECT window{};
    if (!::GetWindowRect(m_hWnd, &window)) return false;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor)) return false;
    RECT over = monitor.rcWork;
    const HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &over);
    const CentringPoint origin = CentredOrigin(window.right - window.left, window.bottom - window.top,
                                               ToCentring(over), ToCentring(monitor.rcWork));
    return ::SetWindowPos(m_hWnd, nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) !=
           FALSE;
}

bool CDialogBase::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_INITDIALOG:
            result = OnInitDialog();
            return true;
        case WM_COMMAND:
            result = 0;
            if (OnCommand(LOWORD(wParam), HIWORD(wParam))) return true;
            break;
        default:
            break;
    }
    return ReflectNotifications(window, message, wParam, lParam, result);
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* dialog = static_cast<CDialogBase*>(::GetPropW(window, kObjectProperty));
    if (!dialog && t_creating) {
        dialog = t_creating;
        t_creating = nullptr;
        dialog->m_hWnd = window;
        ::SetPropW(window, kObjectProperty, dialog);
    }
    if (!dialog) return FALSE;

    LRESULT result = 0;
    const bool handled = dialog->CallMessageMap(window, message, wParam, lParam, result);
    if (message == WM_NCDESTROY) {
        ::RemovePropW(window, kObjectProperty);
        dialog->m_hWnd = nullptr;
        dialog->OnFinalMessage(window);
        return FALSE;
    }
    if (!handled) return FALSE;
    if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
}
