// close_window TITLE: leaves the game window titled TITLE as the player
// would: its exit command, then OK in the "提示" question that follows.
// Exit code 0 when there was such a window and it went.
// close_window --ask TITLE: only gives the exit command; the question stays.
// close_window --count TITLE: exit code = how many such windows exist.
#include <windows.h>

#include <cwchar>

namespace {

constexpr WORD kExitCommand = 32785;  // the main menu's "退出"
constexpr wchar_t kQuestionCaption[] = L"提示";

struct Search {
    const wchar_t* title;
    DWORD threadId;  // 0: any
    int count;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    if (std::wcscmp(text, search->title) != 0) return TRUE;
    if (search->threadId && ::GetWindowThreadProcessId(window, nullptr) != search->threadId) return TRUE;
    ++search->count;
    search->found = window;
    return TRUE;
}

Search Find(const wchar_t* title, DWORD threadId = 0) {
    Search search{title, threadId, 0, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"--count") == 0) return Find(argv[2]).count;
    const bool askOnly = argc == 3 && std::wcscmp(argv[1], L"--ask") == 0;
    if (argc != 2 && !askOnly) return 2;
    const HWND window = ::FindWindowW(nullptr, argv[argc - 1]);
    if (!window || !::PostMessageW(window, WM_COMMAND, kExitCommand, 0)) return 1;
    if (askOnly) return 0;
    const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
    for (int i = 0; i < 200 && ::IsWindow(window); ++i) {
        if (const HWND question = Find(kQuestionCaption, thread).found) {
            ::PostMessageW(question, WM_COMMAND, IDOK, 0);
        }
        ::Sleep(50);
    }
    return ::IsWindow(window) ? 1 : 0;
}
