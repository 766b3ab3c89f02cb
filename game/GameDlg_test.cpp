#include "game/GameDlg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "testsupport/BrowserEvents.h"
#include "testsupport/ComApartment.h"
#include "testsupport/NoticeAnswerer.h"
#include "testsupport/PrivateWinePrefix.h"
#include "testsupport/TestWindows.h"
#include "toolkit/ComOwners.h"
#include "toolkit/ControlHost.h"

namespace {

// A game window of its own for each test, filling the work area as it does
// after its start, with nothing left in the queue.
class GameDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(m_game.CreateGameWindow(m_url.get()), nullptr);
        DispatchPendingMessages();
    }
    void TearDown() override {
        if (Window()) DestroyShownWindow(Window());
        DispatchPendingMessages();
    }

    HWND Window() const { return m_game.GetHwnd(); }
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) { return ::SendMessageW(Window(), message, wParam, lParam); }
    bool Visible(GameWindowButton button) const { return IsControlVisible(Window(), ControlId(button)); }

    CComApartment m_apartment;
    CAppModule m_module;
    CVariant m_url;
    CGameDlg m_game{m_module};
};

TEST_F(GameDlgTest, StartsOverTheWorkAreaWithItsBrowserTitleAndButtons) {
    const RECT work = WorkArea();
    const RECT rc = WindowRect(Window());
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);
    EXPECT_EQ(rc.right, work.right);
    EXPECT_EQ(rc.bottom, work.bottom);
    EXPECT_EQ(m_game.GetWindowState(), WindowState::kWorkArea);
    wchar_t text[32] = {};
    ::GetWindowTextW(Window(), text, 32);
    EXPECT_STREQ(text, L"Orlenmark");
    EXPECT_NE(m_game.GetBrowser(), nullptr);
    const HWND host = m_game.GetBrowserHostWindow();
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(static_cast<DWORD>(::GetWindowLongW(host, GWL_STYLE)) & 0xFFFF0000u, 0x50200000u);
    const RECT hostRect = WindowRect(host);
    EXPECT_EQ(hostRect.left - rc.left, 3);
    EXPECT_EQ(hostRect.top - rc.top, 29);
    // The toggle made its own size message of type 0: the work-area button shows.
    EXPECT_TRUE(Visible(GameWindowButton::kWorkArea));
    EXPECT_FALSE(Visible(GameWindowButton::kRestore));
    EXPECT_NE(m_game.GetTitleText(), nullptr);
    EXPECT_STREQ(m_game.GetTitleText(), L"");
}

TEST_F(GameDlgTest, LayoutMovesTheTableButtonsWithTheRightEdgeOnly) {
    Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(1000, 700));
    const int moving[] = {ControlId(GameWindowButton::kClose),    ControlId(GameWindowButton::kRestore),
                          ControlId(GameWindowButton::kWorkArea), ControlId(GameWindowButton::kMinimise),
                          ControlId(GameWindowButton::kMenu),     ControlId(GameWindowButton::kHide)};
    std::vector<POINT> before;
    for (int id : moving) before.push_back(ClientOrigin(Window(), id));
    const int emblemId = ControlId(GameWindowButton::kEmblem);
    const POINT emblem = ClientOrigin(Window(), emblemId);

    Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(1100, 650));
    for (size_t i = 0; i < std::size(moving); ++i) {
        const POINT after = ClientOrigin(Window(), moving[i]);
        EXPECT_EQ(after.x - before[i].x, 100) << moving[i];
        EXPECT_EQ(after.y, before[i].y) << moving[i];
    }
    EXPECT_EQ(ClientOrigin(Window(), emblemId).x, emblem.x);

    // Minimised: nothing moves and the size before it is kept.
    const int closeId = ControlId(GameWindowButton::kClose);
    const POINT close = ClientOrigin(Window(), closeId);
    Send(WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(ClientOrigin(Window(), closeId).x, close.x);
    EXPECT_EQ(m_game.GetPreviousSize().cx, 1100);

    // Too tall: laid out at the full-screen height plus the title bar.
    const int limit = ::GetSystemMetrics(SM_CYFULLSCREEN) + 26;
    Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(1100, limit + 300));
    EXPECT_EQ(m_game.GetPreviousSize().cy, limit);

    // A system maximise shows the restore button in place of the work-area
    // button, anything else the work-area button.
    Send(WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(1100, 650));
    EXPECT_TRUE(Visible(GameWindowButton::kRestore));
    EXPECT_FALSE(Visible(GameWindowButton::kWorkArea));
    Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(1100, 650));
    EXPECT_FALSE(Visible(GameWindowButton::kRestore));
    EXPECT_TRUE(Visible(GameWindowButton::kWorkArea));
}

TEST_F(GameDlgTest, ToggleWorkAreaAlternatesAndAMinimiseResetsTheState) {
    const RECT work = WorkArea();
    m_game.ToggleWorkArea();  // back to the initial client size, centred
    EXPECT_EQ(m_game.GetWindowState(), WindowState::kNormal);
    RECT rc = WindowRect(Window());
    RECT initial{0, 0, 1360, 1020};  // the template's size in dialog units
    ::MapDialogRect(Window(), &initial);
    EXPECT_EQ(rc.right - rc.left, initial.right);
    EXPECT_EQ(rc.bottom - rc.top, initial.bottom);
    EXPECT_GE(rc.left, work.left);  // centred, but kept inside the work area
    EXPECT_GE(rc.top, work.top);
    m_game.ToggleWorkArea();
    EXPECT_EQ(m_game.GetWindowState(), WindowState::kWorkArea);
    rc = WindowRect(Window());
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.right, work.right);

    ::ShowWindow(Window(), SW_MINIMIZE);
    ::ShowWindow(Window(), SW_RESTORE);
    EXPECT_EQ(m_game.GetWindowState(), WindowState::kNormal);
    m_game.ToggleWorkArea();  // fills the work area again instead
    EXPECT_EQ(m_game.GetWindowState(), WindowState::kWorkArea);
    EXPECT_EQ(WindowRect(Window()).right, work.right);
}

TEST_F(GameDlgTest, TheFrameSizesFromEdgesAndTheTitleBarDragsAndToggles) {
    const RECT rc = WindowRect(Window());
    EXPECT_EQ(Send(WM_NCHITTEST, 0, MAKELPARAM(rc.left + 2, rc.top + 2)), HTLEFT);
    EXPECT_EQ(Send(WM_NCHITTEST, 0, MAKELPARAM(rc.left + 6, rc.top + 6)), HTTOPLEFT);
    EXPECT_EQ(Send(WM_NCHITTEST, 0, MAKELPARAM(rc.right - 2, rc.bottom - 50)), HTRIGHT);
    EXPECT_EQ(Send(WM_NCHITTEST, 0, MAKELPARAM(rc.left + 300, rc.top + 300)), HTCLIENT);

    for (int y : {3, 4, 26, 27}) {
        Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, y));
        MSG msg{};
        const bool dragged = ::PeekMessageW(&msg, Window(), WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE);
        EXPECT_EQ(dragged, y == 4 || y == 26) << y;
        if (dragged) {
            EXPECT_EQ(msg.wParam, static_cast<WPARAM>(HTCAPTION));
            EXPECT_EQ(msg.lParam, MAKELPARAM(300, y));
        }
    }
    Send(WM_LBUTTONDBLCLK, 0, MAKELPARAM(300, 27));
    EXPECT_EQ(m_game.GetWindowState(), WindowState::kWorkArea);
    Send(WM_LBUTTONDBLCLK, 0, MAKELPARAM(300, 0));
    EXPECT_EQ(m_game.GetWindowState(), WindowState::kNormal);
    Send(WM_LBUTTONDBLCLK, 0, MAKELPARAM(300, 26));
    EXPECT_EQ(m_game.GetWindowState(), WindowState::kWorkArea);
}

// Records the title as each repaint of the window saw it.
std::vector<std::wstring>* g_drawnTitles = nullptr;
CGameDlg* g_watched = nullptr;
LRESULT CALLBACK WatchErase(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && g_drawnTitles && sent->message == WM_ERASEBKGND && sent->hwnd == g_watched->GetHwnd()) {
        g_drawnTitles->push_back(g_watched->GetTitleText());
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(GameDlgTest, TitlesAreDrawnAtOnceCutAt255AndWipedByTheSink) {
    std::vector<std::wstring> drawn;
    g_drawnTitles = &drawn;
    g_watched = &m_game;
    const HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROC, WatchErase, nullptr, ::GetCurrentThreadId());

    const std::wstring longTitle(300, L'x');
    m_game.SetTitleText(longTitle.c_str());
    EXPECT_EQ(std::wstring(m_game.GetTitleText()), std::wstring(255, L'x'));
    // A surrogate pair across the cut is dropped whole.
    std::wstring pair(254, L'y');
    pair += L"\U0001F600z";
    m_game.SetTitleText(pair.c_str());
    EXPECT_EQ(std::wstring(m_game.GetTitleText()), std::wstring(254, L'y'));

    IDispatch* sink = const_cast<CInvokeEvent*>(&m_game.GetEventSink());
    VARIANT arg;
    arg.vt = VT_BSTR;
    arg.bstrVal = ::SysAllocString(L"Orlenmark - realm 7");
    DISPPARAMS params{&arg, nullptr, 1, 0};
    drawn.clear();
    EXPECT_EQ(sink->Invoke(113, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    ::SysFreeString(arg.bstrVal);
    // Malformed titles draw the empty title.
    arg.vt = VT_I4;
    arg.lVal = 7;
    sink->Invoke(113, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    sink->Invoke(113, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
    ::UnhookWindowsHookEx(hook);
    g_drawnTitles = nullptr;

    const std::vector<std::wstring> expected = {L"Orlenmark - realm 7", L"", L"", L"", L"", L""};
    EXPECT_EQ(drawn, expected);
    EXPECT_STREQ(m_game.GetTitleText(), L"");
}

TEST_F(GameDlgTest, OnlyTheTopLevelGameDocumentLosesItsScrollBars) {
    const HWND host = m_game.GetBrowserHostWindow();
    IDispatch* sink = const_cast<CInvokeEvent*>(&m_game.GetEventSink());
    IDispatch* top = m_game.GetBrowser();
    ASSERT_NE(top, nullptr);
    const auto scrolls = [host] { return (::GetWindowLongW(host, GWL_STYLE) & WS_VSCROLL) != 0; };
    ASSERT_TRUE(scrolls());

    // An inner frame, the words in capitals, or only one of them: no change.
    IDispatch* inner = sink;  // any dispatch pointer that is not the browser's
    EXPECT_EQ(SendDocumentComplete(sink, inner, L"http://g/?openkey=1&openid=2"), S_OK);
    EXPECT_EQ(SendDocumentComplete(sink, top, L"http://g/?OPENKEY=1&OPENID=2"), S_OK);
    EXPECT_EQ(SendDocumentComplete(sink, top, L"http://g/?openkey=1"), S_OK);
    EXPECT_TRUE(scrolls());
    EXPECT_EQ(sink->Invoke(259, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);

    // Either order of the words. No page can load here (Wine has no Gecko),
    // so there is no body to set SCROLL on; the host still loses its bar.
    EXPECT_EQ(SendDocumentComplete(sink, top, L"http://g/?openid=2&openkey=1"), S_OK);
    EXPECT_FALSE(scrolls());
}

TEST_F(GameDlgTest, TheSinkIsAdvisedToTheBrowsersEventsWhileTheWindowLives) {
    CComPtr<IWebBrowser2> browser;  // outlives the window
    ASSERT_EQ(QueryHostedControl(m_game.GetBrowserHostWindow(), IID_IWebBrowser2, browser), S_OK);
    EXPECT_EQ(browser.get(), m_game.GetBrowser());
    EXPECT_TRUE(IsAdvised(browser.get(), &m_game.GetEventSink()));
    ::DestroyWindow(Window());
    EXPECT_FALSE(IsAdvised(browser.get(), &m_game.GetEventSink()));
}

TEST_F(GameDlgTest, TheTrayIconRecordAndItsCallback) {
    const NOTIFYICONDATAW& icon = m_game.GetNotifyIconData();
#ifdef _WIN64
    EXPECT_EQ(icon.cbSize, NOTIFYICONDATAW_V3_SIZE);  // x64: its own platform's version-3 size
#else
    EXPECT_EQ(icon.cbSize, 952u);
#endif
    EXPECT_EQ(icon.hWnd, Window());
    EXPECT_EQ(icon.uID, 128u);
    EXPECT_EQ(icon.uFlags, 7u);
    EXPECT_EQ(icon.uCallbackMessage, 1029u);
    EXPECT_STREQ(icon.szTip, L"Orlenmark");
    EXPECT_NE(icon.hIcon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(Send(WM_GETICON, ICON_SMALL, 0)), icon.hIcon);

    // After a shell restart the icon is added again.
    NOTIFYICONDATAW copy = icon;
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &copy));
    Send(::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &copy));
    Send(::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);

    ::ShowWindow(Window(), SW_HIDE);
    Send(1029, 128, WM_LBUTTONDOWN);  // a single click does nothing
    EXPECT_FALSE(::IsWindowVisible(Window()));
    Send(1029, 128, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(::IsWindowVisible(Window()));
    Send(1029, 128, WM_LBUTTONDBLCLK);  // already visible: no change
    EXPECT_TRUE(::IsWindowVisible(Window()));
}

TEST_F(GameDlgTest, F9BelongsToTheGameWindowAndToggles) {
    const HWND other = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(::RegisterHotKey(other, 1, 0, VK_F9));  // taken while the game window exists
    ::DestroyWindow(other);
    Send(WM_HOTKEY, 120, MAKELPARAM(0, VK_F9));
    EXPECT_FALSE(::IsWindowVisible(Window()));
    Send(WM_HOTKEY, 120, MAKELPARAM(0, VK_F9));
    EXPECT_TRUE(::IsWindowVisible(Window()));
    Send(WM_HOTKEY, 116, MAKELPARAM(0, VK_F5));  // a refresh: the window stays as it is
    EXPECT_TRUE(::IsWindowVisible(Window()));
}

// Looks at the popup the window opens, then closes it.
struct SeenPopup {
    std::vector<UINT> ids;
    int defaultItem = -2;
};
SeenPopup* g_seenPopup = nullptr;
LRESULT CALLBACK WatchPopup(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && g_seenPopup && sent->message == WM_INITMENUPOPUP) {
        const auto popup = reinterpret_cast<HMENU>(sent->wParam);
        for (int i = 0; i < ::GetMenuItemCount(popup); ++i) g_seenPopup->ids.push_back(::GetMenuItemID(popup, i));
        g_seenPopup->defaultItem = static_cast<int>(::GetMenuDefaultItem(popup, TRUE, 0));
        ::EndMenu();
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

SeenPopup OpenPopup(HWND window, WPARAM command, LPARAM trayEvent) {
    SeenPopup seen;
    g_seenPopup = &seen;
    const HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROC, WatchPopup, nullptr, ::GetCurrentThreadId());
    if (trayEvent) {
        ::SendMessageW(window, 1029, 128, trayEvent);
    } else {
        ::SendMessageW(window, WM_COMMAND, command, 0);
    }
    ::UnhookWindowsHookEx(hook);
    g_seenPopup = nullptr;
    return seen;
}

TEST_F(GameDlgTest, TheMenusOpenWithTheirFirstItemInBold) {
    const std::vector<UINT> mainMenu = {32781, 32782, 32783, 32784, 32785};
    for (int id : {ControlId(GameWindowButton::kMenu), ControlId(GameWindowButton::kEmblem)}) {
        const SeenPopup seen = OpenPopup(Window(), MAKEWPARAM(id, BN_CLICKED), 0);
        EXPECT_EQ(seen.ids, mainMenu) << id;
        EXPECT_EQ(seen.defaultItem, 0) << id;
    }
    const SeenPopup tray = OpenPopup(Window(), 0, WM_RBUTTONDOWN);
    EXPECT_EQ(tray.ids, (std::vector<UINT>{32786, 32787, 32788, 32789}));
    EXPECT_EQ(tray.defaultItem, 0);
}

TEST_F(GameDlgTest, MenuCommandsReachTheirActions) {
    for (WPARAM toggle : {ID_MAIN_TOGGLE, ID_TRAY_TOGGLE}) {
        Send(WM_COMMAND, toggle, 0);
        EXPECT_FALSE(::IsWindowVisible(Window())) << toggle;
        Send(WM_COMMAND, toggle, 0);
        EXPECT_TRUE(::IsWindowVisible(Window())) << toggle;
    }
    Send(WM_COMMAND, ID_MAIN_RESET_WINDOW, 0);
    EXPECT_EQ(m_game.GetWindowState(), WindowState::kNormal);
    Send(WM_COMMAND, ID_MAIN_RESET_WINDOW, 0);
    EXPECT_EQ(m_game.GetWindowState(), WindowState::kWorkArea);
    Send(WM_COMMAND, MAKEWPARAM(ControlId(GameWindowButton::kHide), BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindowVisible(Window()));
    ::ShowWindow(Window(), SW_SHOW);
    CNoticeAnswerer answer(IDCANCEL);
    Send(WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_EQ(answer.Text(), L"正在游戏中，是否确认退出游戏？");
    // Cancel keeps the icon and the hotkey.
    NOTIFYICONDATAW copy = m_game.GetNotifyIconData();
    copy.uFlags = NIF_TIP;
    EXPECT_TRUE(::Shell_NotifyIconW(NIM_MODIFY, &copy));
    EXPECT_FALSE(::RegisterHotKey(nullptr, 1, 0, VK_F9));
}

// Both commands empty the user's cookies, so they run only in the private prefix.
TEST_F(GameDlgTest, BothClearCacheCommandsSayWhenTheyAreDone) {
    SKIP_OUTSIDE_PRIVATE_WINE_PREFIX();
    for (WPARAM clear : {ID_MAIN_CLEAR_CACHE, ID_TRAY_CLEAR_CACHE}) {
        CNoticeAnswerer answer(IDOK);
        Send(WM_COMMAND, clear, 0);
        EXPECT_EQ(answer.Text(), L"清空完成！") << clear;
    }
}

TEST_F(GameDlgTest, CancelInTheExitQuestionKeepsEverything) {
    m_game.SetExitConfirmedHandler([] { ADD_FAILURE() << "the exit handler ran on Cancel"; });
    CNoticeAnswerer answer(IDCANCEL);
    Send(WM_COMMAND, MAKEWPARAM(ControlId(GameWindowButton::kClose), BN_CLICKED), 0);
    EXPECT_EQ(answer.Text(), L"正在游戏中，是否确认退出游戏？");
    EXPECT_TRUE(::IsWindow(Window()));
    MSG msg{};
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    // A system close request has no handler: the window stays open.
    Send(WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(::IsWindow(Window()));
}

TEST_F(GameDlgTest, OkInTheExitQuestionDestroysTheWindowAndEndsTheLoop) {
    const HWND window = Window();
    // The exit handler runs on the click, while the question still stands,
    // and once only.
    int calls = 0;
    bool questionStood = false;
    m_game.SetExitConfirmedHandler([&] {
        ++calls;
        questionStood = ::IsWindowVisible(::FindWindowW(L"#32770", L"提示")) != FALSE;
    });
    CNoticeAnswerer answer(IDOK);
    Send(WM_COMMAND, ID_MAIN_EXIT, 0);
    EXPECT_EQ(answer.Text(), L"正在游戏中，是否确认退出游戏？");
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(questionStood);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(m_game.GetBrowserHostWindow(), nullptr);
    EXPECT_EQ(m_game.GetBrowser(), nullptr);
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
    // The icon and F9 went with the window.
    NOTIFYICONDATAW copy = m_game.GetNotifyIconData();
    EXPECT_FALSE(::Shell_NotifyIconW(NIM_DELETE, &copy));
    EXPECT_TRUE(::RegisterHotKey(nullptr, 1, 0, VK_F9));
    ::UnregisterHotKey(nullptr, 1);
}

TEST(GameDlgFailure, ABrowserThatCannotBeCreatedIsReportedAndTheWindowGoes) {
    const CComApartment apartment;
    CAppModule module;
    CGameDlg game(module);
    game.SetCreationText(L"No.Such.Control");
    CNoticeAnswerer answer(IDOK);
    EXPECT_EQ(game.CreateGameWindow(nullptr), nullptr);
    EXPECT_EQ(answer.Text(), L"无法连接服务器");
    EXPECT_EQ(game.GetHwnd(), nullptr);
    EXPECT_EQ(::FindWindowW(nullptr, L"Orlenmark"), nullptr);
}

}  // namespace
