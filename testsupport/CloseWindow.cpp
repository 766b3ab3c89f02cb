// close_window TITLE: asks the top-level window with that title to close, as
// its close box would. Exit code 0 when such a window was found.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    const HWND window = ::FindWindowW(nullptr, argv[1]);
    return window && ::PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
}
