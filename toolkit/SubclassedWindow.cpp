#include "toolkit/SubclassedWindow.h"

namespace {
// The window property that leads from a window to its object.
constexpr wchar_t kObjectProperty[] = L"Quillmoor.WindowObject";
}  // namespace

CSubclassedWindow::~CSubclassedWindow() {
    if (m_hWnd && ::IsWindow(m_hWnd)) UnsubclassWindow();
}

bool CSubclassedWindow::SubclassWindow(HWND window) {
    if (!window || m_hWnd || ::GetPropW(window, kObjectProperty)) return false;
    if (!::SetPropW(window, kObjectProperty, this)) return false;
    const auto previous = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc)));
    if (!previous) {
        ::RemovePropW(window, kObjectProperty);
        return false;
    }
    m_pfnSuperWindowProc = previous;
    m_hWnd = window;
    return true;
}

HWND CSubclassedWindow::UnsubclassWindow() {
    const HWND window = m_hWnd;
    if (!window) return nullptr;
    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuperWindowProc));
    ::RemovePropW(window, kObjectProperty);
    m_pfnSuperWindowProc = ::DefWindowProcW;
    m_hWnd = nullptr;
    return window;
}

LRESULT CSubclassedWindow::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcW(m_pfnSuperWindowProc, m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CSubclassedWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* object = static_cast<CSubclassedWindow*>(::GetPropW(window, kObjectProperty));
    if (!object) return ::DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    const bool handled = object->CallMessageMap(window, message, wParam, lParam, result);
    if (!handled) result = object->DefWindowProc(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        object->UnsubclassWindow();
        object->OnFinalMessage(window);
    }
    return result;
}
