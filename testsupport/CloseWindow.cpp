// Drives a running client from outside, as a player would. TITLE is the
// title its windows carry ("Orlenmark").
//   close_window TITLE        go on from the start dialog if it is up, then
//                             leave the game window: its exit command and OK
//                             in the "提示" question. Exit code 0 when a game
//                             window was there and went.
//   close_window --ask TITLE  only gives the game window its exit command.
//   close_window --exit-start TITLE  presses the start dialog's exit button.
//   close_window --go-on TITLE       goes on from the start dialog; exit code
//                                    0 when the game window came.
//   close_window --count TITLE       exit code = how many start dialogs and
//                                    game windows exist.
//   close_window --ok TITLE          presses OK in the game window's shown
//                                    question and returns at once.
//   close_window --clear-cache TITLE gives the game window its clear-cache
//                                    command and answers its message; exit
//                                    code 0 when that said "清空完成！".
//   close_window --progress TITLE    exit code 0 when no update progress
//                                    window is shown, else 1 + its bar's
//                                    position (PBM_GETPOS); 255 when its text
//                                    is not "正在更新…" and that percentage,
//                                    254 when it does not answer.
//   close_window --rects TITLE       prints the shown start dialog's and game
//                                    window's rectangles, each with its browser
//                                    host and the browser's own window, one a
//                                    line: name, left, top, width, height
//                                    (children in their parent's client
//                                    coordinates), client width and height;
//                                    with a game window also the line
//                                    "full-screen-height" and that metric.
//                                    Exit code 0 when it found either window.
//   close_window --reset TITLE       gives the game window its "reset window"
//                                    command and returns once it is done.
//   close_window --size WxH TITLE    sizes the game window from outside, as a
//                                    drag of its corner would, and returns
//                                    once it has laid itself out.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>

namespace {

constexpr WORD kExitCommand = 32785;   // the main menu's "退出"
constexpr WORD kClearCacheCommand = 32783;  // the main menu's "清理缓存"
constexpr WORD kResetCommand = 32784;  // the main menu's "重置窗口"
constexpr int kStartBrowser = 1001;    // only the start dialog holds it
constexpr int kStartGoOn = 1006;
constexpr int kStartExit = 1008;
constexpr int kGameEmblem = 1011;      // only the game window holds it
constexpr int kUpdateBar = 1020;       // only the update progress window holds it
constexpr int kUpdateText = 1021;
constexpr wchar_t kQuestionCaption[] = L"提示";
constexpr wchar_t kCacheCleared[] = L"清空完成！";

struct Search {
    const wchar_t* title;
    int childId;     // 0: any window with the title
    DWORD threadId;  // 0: any thread
    int count;
    HWND found;      // the topmost visible match
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    if (std::wcscmp(text, search->title) != 0) return TRUE;
    if (search->childId && !::GetDlgItem(window, search->childId)) return TRUE;
    if (search->threadId && ::GetWindowThreadProcessId(window, nullptr) != search->threadId) return TRUE;
    ++search->count;
    if (!search->found && ::IsWindowVisible(window)) search->found = window;
    return TRUE;
}

Search Find(const wchar_t* title, int childId, DWORD threadId = 0) {
    Search search{title, childId, threadId, 0, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search;
}

void Click(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// Waits up to thirty seconds for the game window, going on from a start
// dialog. A window still in its initialisation is not shown yet, and is
// not found: a command sent to it then would run in the middle of it.
HWND GameWindow(const wchar_t* title) {
    for (int i = 0; i < 600; ++i) {
        if (const HWND game = Find(title, kGameEmblem).found) return game;
        const HWND start = Find(title, kStartBrowser).found;
        if (!start && i == 0) return nullptr;  // no client at all
        if (start) Click(start, kStartGoOn);
        ::Sleep(50);
    }
    return nullptr;
}

// Waits up to thirty seconds for a shown message box of the thread.
HWND ShownQuestion(DWORD thread) {
    for (int i = 0; i < 600; ++i) {
        if (const HWND question = Find(kQuestionCaption, 0, thread).found) return question;
        ::Sleep(50);
    }
    return nullptr;
}

// True when the message box shows text.
bool Says(HWND box, const wchar_t* text) {
    wchar_t shown[256] = {};
    ::GetDlgItemTextW(box, 0xFFFF, shown, 256);  // a message box's text control
    return std::wcscmp(shown, text) == 0;
}

// What a window answers to message within two seconds; false when it does
// not answer (its thread pumps no messages) or is gone.
bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* answer) {
    return ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, answer) != 0;
}

// The text of the window's control id; false when it does not answer.
bool TextOf(HWND window, int id, wchar_t (&text)[64]) {
    DWORD_PTR length = 0;
    text[0] = L'\0';
    return Ask(::GetDlgItem(window, id), WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text), &length);
}

// 0 without a shown progress window, 1 + the bar's position with one whose
// text agrees, 255 with one whose text does not, 254 with one that does not
// answer. The client moves the bar and changes the text together, between
// two of our messages: the same text before and after the position means
// nothing moved in between.
int ProgressCode(const wchar_t* title) {
    const HWND window = Find(title, kUpdateBar).found;
    if (!window) return 0;
    for (int attempt = 0; attempt < 10; ++attempt) {
        wchar_t before[64], after[64], expected[64] = {};
        DWORD_PTR position = 0;
        const bool answered = TextOf(window, kUpdateText, before) &&
                              Ask(::GetDlgItem(window, kUpdateBar), PBM_GETPOS, 0, 0, &position) &&
                              TextOf(window, kUpdateText, after);
        if (!::IsWindow(window)) return 0;  // gone while we asked
        if (!answered) return 254;
        if (std::wcscmp(before, after) != 0) continue;
        std::swprintf(expected, 64, L"正在更新… %d%%", static_cast<int>(position));
        return std::wcscmp(after, expected) == 0 ? 1 + static_cast<int>(position) : 255;
    }
    return 255;
}

// The first child of parent whose class is className, or null.
HWND ChildOfClass(HWND parent, const wchar_t* className) {
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[64] = {};
        ::GetClassNameW(child, name, 64);
        if (std::wcscmp(name, className) == 0) return child;
    }
    return nullptr;
}

void PrintRect(const char* name, HWND window) {
    if (!window) {
        std::printf("%s none\n", name);
        return;
    }
    RECT rc{}, client{};
    ::GetWindowRect(window, &rc);
    ::GetClientRect(window, &client);
    if (::GetWindowLongW(window, GWL_STYLE) & WS_CHILD) {
        ::MapWindowPoints(nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&rc), 2);
    }
    std::printf("%s %ld %ld %ld %ld %ld %ld\n", name, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                client.right, client.bottom);
}

// The start window (the start dialog's owner), the dialog, its browser's
// place and the browser; the game window, its host and the browser.
int PrintRects(const wchar_t* title) {
    const HWND start = Find(title, kStartBrowser).found;
    if (start) {
        PrintRect("start-window", ::GetWindow(start, GW_OWNER));
        PrintRect("start-dialog", start);
        const HWND place = ::GetDlgItem(start, kStartBrowser);
        PrintRect("start-host", place);
        PrintRect("start-browser", ChildOfClass(place, L"Shell Embedding"));
    }
    const HWND game = Find(title, kGameEmblem).found;
    if (game) {
        PrintRect("game-window", game);
        const HWND host = ChildOfClass(game, L"AtlAxWin90");
        PrintRect("game-host", host);
        PrintRect("game-browser", host ? ChildOfClass(host, L"Shell Embedding") : nullptr);
        std::printf("full-screen-height %d\n", ::GetSystemMetrics(SM_CYFULLSCREEN));
    }
    std::fflush(stdout);
    return start || game ? 0 : 1;
}

// Sizes the game window as the system's sizing loop does; the window's own
// thread lays it out before SetWindowPos returns.
int SizeGameWindow(const wchar_t* size, const wchar_t* title) {
    int width = 0, height = 0;
    if (std::swscanf(size, L"%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) return 2;
    const HWND game = Find(title, kGameEmblem).found;
    if (!game) return 1;
    return ::SetWindowPos(game, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE) ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && std::wcscmp(argv[1], L"--size") == 0) return SizeGameWindow(argv[2], argv[3]);
    if (argc < 2 || argc > 3) return 2;
    const wchar_t* title = argv[argc - 1];
    const wchar_t* mode = argc == 3 ? argv[1] : L"";
    if (std::wcscmp(mode, L"--rects") == 0) return PrintRects(title);
    if (std::wcscmp(mode, L"--reset") == 0) {
        const HWND game = Find(title, kGameEmblem).found;
        DWORD_PTR answer = 0;
        return game && Ask(game, WM_COMMAND, kResetCommand, 0, &answer) ? 0 : 1;
    }
    if (std::wcscmp(mode, L"--count") == 0) return Find(title, kStartBrowser).count + Find(title, kGameEmblem).count;
    if (std::wcscmp(mode, L"--progress") == 0) return ProgressCode(title);
    if (std::wcscmp(mode, L"--exit-start") == 0) {
        // The start dialog is shown once the start window has its picture.
        for (int i = 0; i < 600; ++i) {
            if (const HWND start = Find(title, kStartBrowser).found) {
                Click(start, kStartExit);
                return 0;
            }
            ::Sleep(50);
        }
        return 1;
    }
    const HWND game = GameWindow(title);
    if (std::wcscmp(mode, L"--go-on") == 0) return game ? 0 : 1;
    if (!game) return 1;
    const DWORD gameThread = ::GetWindowThreadProcessId(game, nullptr);
    if (std::wcscmp(mode, L"--ok") == 0) {
        const HWND question = ShownQuestion(gameThread);
        return question && ::PostMessageW(question, WM_COMMAND, IDOK, 0) ? 0 : 1;
    }
    if (std::wcscmp(mode, L"--clear-cache") == 0) {
        if (!::PostMessageW(game, WM_COMMAND, kClearCacheCommand, 0)) return 1;
        const HWND done = ShownQuestion(gameThread);
        if (!done) return 1;
        const bool cleared = Says(done, kCacheCleared);
        ::PostMessageW(done, WM_COMMAND, IDOK, 0);
        return cleared ? 0 : 1;
    }
    // One question at a time: a second exit command would open a second
    // question inside the first one's loop.
    const DWORD thread = ::GetWindowThreadProcessId(game, nullptr);
    if (!Find(kQuestionCaption, 0, thread).count && !::PostMessageW(game, WM_COMMAND, kExitCommand, 0)) return 1;
    if (std::wcscmp(mode, L"--ask") == 0) return 0;
    for (int i = 0; i < 600 && ::IsWindow(game); ++i) {
        // The topmost shown question is the one whose loop runs.
        if (const HWND question = Find(kQuestionCaption, 0, thread).found) {
            ::PostMessageW(question, WM_COMMAND, IDOK, 0);
        }
        ::Sleep(50);
    }
    return ::IsWindow(game) ? 1 : 0;
}
