#include "game/GameDlg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "testsupport/BrowserEvents.h"
#include "testsupport/NoticeAnswerer.h"
#include "toolkit/ControlHost.h"

namespace {

RECT WindowRect(HWND window) {
    RECT rc{};
    ::GetWindowRect(window, &rc);
    return rc;
}

POINT ClientOrigin(HWND parent, int id) {
    RECT rc = WindowRect(::GetDlgItem(parent, id));
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    return {rc.left, rc.top};
}

bool Visible(HWND parent, int id) { return ::IsWindowVisible(::GetDlgItem(parent, id)) != FALSE; }

// One game window for the suite: showing a top-level window is slow under Wine.
class GameDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::CoInitialize(nullptr);
        RegisterControlHostClass();
        ::VariantInit(&s_url);
        s_game = new CGameDlg(s_module);
        s_game->CreateGameWindow(&s_url);
    }
    static void TearDownTestSuite() {
        if (s_game->GetHwnd()) ::DestroyWindow(s_game->GetHwnd());
        delete s_game;
        ::CoUninitialize();
    }
    void SetUp() override { ASSERT_NE(s_game->GetHwnd(), nullptr); }

    HWND Window() const { return s_game->GetHwnd(); }
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) { return ::SendMessageW(Window(), message, wParam, lParam); }
    // Puts the window in a known state: work area filled, no pending posts.
    void FillWorkArea() {
        if (s_game->GetWindowState() != kStateWorkArea) s_game->ToggleWorkArea();
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }

    static CAppModule s_module;
    static VARIANT s_url;
    static CGameDlg* s_game;
};
CAppModule GameDlgTest::s_module;
VARIANT GameDlgTest::s_url;
CGameDlg* GameDlgTest::s_game = nullptr;

TEST_F(GameDlgTest, StartsOverTheWorkAreaWithItsBrowserTitleAndButtons) {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const RECT rc = WindowRect(Window());
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);
    EXPECT_EQ(rc.right, work.right);
    EXPECT_EQ(rc.bottom, work.bottom);
    EXPECT_EQ(s_game->GetWindowState(), kStateWorkArea);
    wchar_t text[32] = {};
    ::GetWindowTextW(Window(), text, 32);
    EXPECT_STREQ(text, L"Orlenmark");
    EXPECT_NE(s_game->GetBrowser(), nullptr);
    const HWND host = s_game->GetBrowserHostWindow();
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(static_cast<DWORD>(::GetWindowLongW(host, GWL_STYLE)) & 0xFFFF0000u, 0x50200000u);
    const RECT hostRect = WindowRect(host);
    EXPECT_EQ(hostRect.left - rc.left, 3);
    EXPECT_EQ(hostRect.top - rc.top, 29);
    // The toggle made its own size message of type 0: the 1012 form shows.
    EXPECT_TRUE(Visible(Window(), IDC_BUTTON_1012));
    EXPECT_FALSE(Visible(Window(), IDC_BUTTON_1007));
    EXPECT_NE(s_game->GetTitleText(), nullptr);
    EXPECT_STREQ(s_game->GetTitleText(), L"");
}

TEST_F(GameDlgTest, LayoutMovesTheTableButtonsWithTheRightEdgeOnly) {
    Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(1000, 700));
    const int moving[] = {IDC_BUTTON_1006, IDC_BUTTON_1007, IDC_BUTTON_1012, IDC_BUTTON_1008, IDC_BUTTON_1010,
                          IDC_BUTTON_1009};
    std::vector<POINT> before;
    for (int id : moving) before.push_back(ClientOrigin(Window(), id));
    const POINT emblem = ClientOrigin(Window(), IDC_BUTTON_1011);

    Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(1100, 650));
    for (size_t i = 0; i < std::size(moving); ++i) {
        const POINT after = ClientOrigin(Window(), moving[i]);
        EXPECT_EQ(after.x - before[i].x, 100) << moving[i];
        EXPECT_EQ(after.y, before[i].y) << moving[i];
    }
    EXPECT_EQ(ClientOrigin(Window(), IDC_BUTTON_1011).x, emblem.x);

    // Minimised: nothing moves and the size before it is kept.
    const POINT close = ClientOrigin(Window(), IDC_BUTTON_1006);
    Send(WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(ClientOrigin(Window(), IDC_BUTTON_1006).x, close.x);
    EXPECT_EQ(s_game->GetPreviousSize().cx, 1100);

    // Too tall: laid out at the full-screen height plus the title bar.
    const int limit = ::GetSystemMetrics(SM_CYFULLSCREEN) + 26;
    Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(1100, limit + 300));
    EXPECT_EQ(s_game->GetPreviousSize().cy, limit);

    // A system maximise shows 1007 in place of 1012, anything else 1012.
    Send(WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(1100, 650));
    EXPECT_TRUE(Visible(Window(), IDC_BUTTON_1007));
    EXPECT_FALSE(Visible(Window(), IDC_BUTTON_1012));
    Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(1100, 650));
    EXPECT_FALSE(Visible(Window(), IDC_BUTTON_1007));
    EXPECT_TRUE(Visible(Window(), IDC_BUTTON_1012));
    FillWorkArea();
}

TEST_F(GameDlgTest, ToggleWorkAreaAlternatesAndAMinimiseResetsTheState) {
    FillWorkArea();
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);

    s_game->ToggleWorkArea();  // back to the initial client size, centred
    EXPECT_EQ(s_game->GetWindowState(), 0);
    RECT rc = WindowRect(Window());
    RECT initial{0, 0, 1360, 1020};  // the template's size in dialog units
    ::MapDialogRect(Window(), &initial);
    EXPECT_EQ(rc.right - rc.left, initial.right);
    EXPECT_EQ(rc.bottom - rc.top, initial.bottom);
    EXPECT_GE(rc.left, work.left);  // centred, but kept inside the work area
    EXPECT_GE(rc.top, work.top);
    s_game->ToggleWorkArea();
    EXPECT_EQ(s_game->GetWindowState(), kStateWorkArea);
    rc = WindowRect(Window());
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.right, work.right);

    ::ShowWindow(Window(), SW_MINIMIZE);
    ::ShowWindow(Window(), SW_RESTORE);
    EXPECT_EQ(s_game->GetWindowState(), 0);
    s_game->ToggleWorkArea();  // fills the work area again instead
    EXPECT_EQ(s_game->GetWindowState(), kStateWorkArea);
    EXPECT_EQ(WindowRect(Window()).right, work.right);
}

TEST_F(GameDlgTest, TheFrameSizesFromEdgesAndTheTitleBarDragsAndToggles) {
    FillWorkArea();
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
    EXPECT_EQ(s_game->GetWindowState(), kStateWorkArea);
    Send(WM_LBUTTONDBLCLK, 0, MAKELPARAM(300, 0));
    EXPECT_EQ(s_game->GetWindowState(), 0);
    Send(WM_LBUTTONDBLCLK, 0, MAKELPARAM(300, 26));
    EXPECT_EQ(s_game->GetWindowState(), kStateWorkArea);
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
    g_watched = s_game;
    const HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROC, WatchErase, nullptr, ::GetCurrentThreadId());

    const std::wstring longTitle(300, L'x');
    s_game->SetTitleText(longTitle.c_str());
    EXPECT_EQ(std::wstring(s_game->GetTitleText()), std::wstring(255, L'x'));
    // A surrogate pair across the cut is dropped whole.
    std::wstring pair(254, L'y');
    pair += L"\U0001F600z";
    s_game->SetTitleText(pair.c_str());
    EXPECT_EQ(std::wstring(s_game->GetTitleText()), std::wstring(254, L'y'));

    IDispatch* sink = const_cast<CInvokeEvent*>(&s_game->GetEventSink());
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
    EXPECT_STREQ(s_game->GetTitleText(), L"");
}

TEST_F(GameDlgTest, OnlyTheTopLevelGameDocumentLosesItsScrollBars) {
    const HWND host = s_game->GetBrowserHostWindow();
    IDispatch* sink = const_cast<CInvokeEvent*>(&s_game->GetEventSink());
    IDispatch* top = s_game->GetBrowser();
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
    ::SetWindowLongW(host, GWL_STYLE, ::GetWindowLongW(host, GWL_STYLE) | WS_VSCROLL);
}

TEST_F(GameDlgTest, TheSinkIsAdvisedToTheBrowsersEvents) {
    IConnectionPointContainer* container = nullptr;
    ASSERT_EQ(s_game->GetBrowser()->QueryInterface(IID_IConnectionPointContainer,
                                                   reinterpret_cast<void**>(&container)), S_OK);
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point), S_OK);
    container->Release();
    IEnumConnections* connections = nullptr;
    ASSERT_EQ(point->EnumConnections(&connections), S_OK);
    point->Release();
    bool found = false;
    CONNECTDATA data{};
    while (connections->Next(1, &data, nullptr) == S_OK) {
        found = found || data.pUnk == static_cast<const IDispatch*>(&s_game->GetEventSink());
        if (data.pUnk) data.pUnk->Release();
    }
    connections->Release();
    EXPECT_TRUE(found);
}

TEST_F(GameDlgTest, TheTrayIconRecordAndItsCallback) {
    const NOTIFYICONDATAW& icon = s_game->GetNotifyIconData();
    EXPECT_EQ(icon.cbSize, 952u);
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
    for (WORD id : {IDC_BUTTON_1010, IDC_BUTTON_1011}) {
        const SeenPopup seen = OpenPopup(Window(), MAKEWPARAM(id, BN_CLICKED), 0);
        EXPECT_EQ(seen.ids, mainMenu) << id;
        EXPECT_EQ(seen.defaultItem, 0) << id;
    }
    const SeenPopup tray = OpenPopup(Window(), 0, WM_RBUTTONDOWN);
    EXPECT_EQ(tray.ids, (std::vector<UINT>{32786, 32787, 32788, 32789}));
    EXPECT_EQ(tray.defaultItem, 0);
}

TEST_F(GameDlgTest, MenuCommandsReachTheirActions) {
    FillWorkArea();
    for (WPARAM toggle : {ID_MAIN_TOGGLE, ID_TRAY_TOGGLE}) {
        Send(WM_COMMAND, toggle, 0);
        EXPECT_FALSE(::IsWindowVisible(Window())) << toggle;
        Send(WM_COMMAND, toggle, 0);
        EXPECT_TRUE(::IsWindowVisible(Window())) << toggle;
    }
    Send(WM_COMMAND, ID_MAIN_RESET_WINDOW, 0);
    EXPECT_EQ(s_game->GetWindowState(), 0);
    Send(WM_COMMAND, ID_MAIN_RESET_WINDOW, 0);
    EXPECT_EQ(s_game->GetWindowState(), kStateWorkArea);
    Send(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_1009, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindowVisible(Window()));
    ::ShowWindow(Window(), SW_SHOW);
    for (WPARAM clear : {ID_MAIN_CLEAR_CACHE, ID_TRAY_CLEAR_CACHE}) {
        CNoticeAnswerer answer(IDOK);
        Send(WM_COMMAND, clear, 0);
        EXPECT_EQ(answer.Text(), L"清空完成！") << clear;
    }
    CNoticeAnswerer answer(IDCANCEL);
    Send(WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_EQ(answer.Text(), L"正在游戏中，是否确认退出游戏？");
    // Cancel keeps the icon and the hotkey.
    NOTIFYICONDATAW copy = s_game->GetNotifyIconData();
    copy.uFlags = NIF_TIP;
    EXPECT_TRUE(::Shell_NotifyIconW(NIM_MODIFY, &copy));
    EXPECT_FALSE(::RegisterHotKey(nullptr, 1, 0, VK_F9));
}

TEST_F(GameDlgTest, CancelInTheExitQuestionKeepsEverything) {
    s_game->SetExitConfirmedHandler([] { ADD_FAILURE() << "the exit handler ran on Cancel"; });
    CNoticeAnswerer answer(IDCANCEL);
    Send(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_1006, BN_CLICKED), 0);
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
    s_game->SetExitConfirmedHandler([&] {
        ++calls;
        questionStood = ::IsWindowVisible(::FindWindowW(L"#32770", L"提示")) != FALSE;
    });
    CNoticeAnswerer answer(IDOK);
    Send(WM_COMMAND, ID_MAIN_EXIT, 0);
    EXPECT_EQ(answer.Text(), L"正在游戏中，是否确认退出游戏？");
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(questionStood);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(s_game->GetBrowserHostWindow(), nullptr);
    EXPECT_EQ(s_game->GetBrowser(), nullptr);
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
    // The icon and F9 went with the window.
    NOTIFYICONDATAW copy = s_game->GetNotifyIconData();
    EXPECT_FALSE(::Shell_NotifyIconW(NIM_DELETE, &copy));
    EXPECT_TRUE(::RegisterHotKey(nullptr, 1, 0, VK_F9));
    ::UnregisterHotKey(nullptr, 1);
}

TEST(GameDlgFailure, ABrowserThatCannotBeCreatedIsReportedAndTheWindowGoes) {
    ::CoInitialize(nullptr);
    RegisterControlHostClass();
    CAppModule module;
    CGameDlg game(module);
    game.SetCreationText(L"No.Such.Control");
    CNoticeAnswerer answer(IDOK);
    EXPECT_EQ(game.CreateGameWindow(nullptr), nullptr);
    EXPECT_EQ(answer.Text(), L"无法连接服务器");
    EXPECT_EQ(game.GetHwnd(), nullptr);
    EXPECT_EQ(::FindWindowW(nullptr, L"Orlenmark"), nullptr);
    ::CoUninitialize();
}

}  // namespace
