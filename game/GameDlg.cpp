#include "game/GameDlg.h"

namespace {

constexpr wchar_t kPlaceholderClass[] = L"QuillmoorGameWindow";

LRESULT CALLBACK PlaceholderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(1);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

HWND CGameDlg::Create() {
    // PLACEHOLDER until the game window lands: a plain window titled
    // "Orlenmark" stands in for it; closing it ends the game-window loop.
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = PlaceholderProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kPlaceholderClass;
    ::RegisterClassW(&windowClass);
    m_hWnd = ::CreateWindowExW(0, kPlaceholderClass, L"Orlenmark", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT,
                               CW_USEDEFAULT, 1024, 640, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!m_hWnd) ::PostQuitMessage(1);
    return m_hWnd;
}
