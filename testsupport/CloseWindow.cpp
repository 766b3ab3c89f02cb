// close_window TITLE: asks the top-level window with that title to close, as
// its close box would; exit code 0 when there was one.
// close_window --count TITLE: exit code = how many such windows exist.
#include <windows.h>

#include <cwchar>

namespace {

struct Search {
    const wchar_t* title;
    int count;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    if (std::wcscmp(text, search->title) == 0) ++search->count;
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"--count") == 0) {
        Search search{argv[2], 0};
        ::EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&search));
        return search.count;
    }
    if (argc != 2) return 2;
    const HWND window = ::FindWindowW(nullptr, argv[1]);
    return window && ::PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
}
