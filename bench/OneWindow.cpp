// one_window: the reference for bench/startup. The least a Win32 GUI program
// does to put a window on the screen: register a class, create one
// overlapped window titled "One window", show it, pump messages until it is
// closed.
//
// Built as one_window_platform with QUILLMOOR_PLATFORM_SETUP, it first sets
// up what the client sets up before its first window, and nothing more: the
// common controls, COM, WinINet's connection state and Winsock. The
// difference between the two is what that set-up costs any program under
// the same Wine.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <wininet.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

#ifdef QUILLMOOR_PLATFORM_SETUP
void SetUpPlatform() {
    ::CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    DWORD state = 0;
    ::InternetGetConnectedState(&state, 0);
    WSADATA winsock{};
    ::WSAStartup(MAKEWORD(2, 2), &winsock);
}
#endif

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
#ifdef QUILLMOOR_PLATFORM_SETUP
    SetUpPlatform();
#endif
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"OneWindow";
    if (!::RegisterClassW(&windowClass)) return 1;
    const HWND window = ::CreateWindowExW(0, L"OneWindow", L"One window", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                          CW_USEDEFAULT, 800, 600, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ::ShowWindow(window, show);
    ::UpdateWindow(window);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
