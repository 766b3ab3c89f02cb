#include "skin/TranslucentDlg.h"

#include <gtest/gtest.h>

#include <string>

#include "skin/KeyboardHook.h"
#include "skin/MainDlg.h"
#include "testsupport/BrowserEvents.h"
#include "testsupport/ComApartment.h"
#include "testsupport/NoticeAnswerer.h"
#include "testsupport/TestWindows.h"

// The application module the application object's game window registers with.
CAppModule g_Module;

namespace {

class StartWindowTest : public ::testing::Test {
protected:
    CComApartment m_apartment;
};

TEST_F(StartWindowTest, TheDialogIsLaidOverThePictureAndFollowsIt) {
    CTranslucentDlg app;
    const CSkinBitmap& picture = app.GetSkin().m_image;
    ASSERT_EQ(picture.GetWidth(), 1164);  // the size of picture 271 gives the window's
    ASSERT_EQ(picture.GetHeight(), 717);
    ASSERT_NE(app.Create(), nullptr);
    const HWND start = app.m_hWnd;
    const HWND dialog = app.GetSkin().m_pDialog->GetHwnd();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(::GetWindow(dialog, GW_OWNER), start);
    EXPECT_NE(g_hKeyboardHook, nullptr);

    // Centred on the work area, whether the picture fits or overlaps the edges.
    const RECT placed = WindowRect(start);
    EXPECT_TRUE(IsCentredIn(placed, WorkArea(), 1164, 717));
    const RECT over = WindowRect(dialog);
    EXPECT_TRUE(::EqualRect(&placed, &over));
    const LONG style = ::GetWindowLongW(start, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, 0);
    EXPECT_NE(style & WS_POPUP, 0);
    EXPECT_NE(::GetWindowLongW(start, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
    EXPECT_EQ(app.GetSkin().m_blend.SourceConstantAlpha, 255);
    EXPECT_EQ(app.GetSkin().m_blend.AlphaFormat, AC_SRC_ALPHA);

    // Moves and sizes, negative positions included, bring the dialog along.
    ::SetWindowPos(start, nullptr, -40, -30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(start, nullptr, 0, 0, 500, 300, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const RECT moved = WindowRect(dialog);
    EXPECT_EQ(moved.left, -40);
    EXPECT_EQ(moved.top, -30);
    EXPECT_EQ(moved.right - moved.left, 500);
    EXPECT_EQ(moved.bottom - moved.top, 300);

    // Going on posts WM_DESTROY; a second one changes nothing.
    for (int i = 0; i < 2; ++i) {
        ::SendMessageW(start, WM_DESTROY, 0, 0);
        EXPECT_EQ(app.GetRunMode(), kRunModeGameWindow);
    }
    EXPECT_TRUE(::IsWindow(start));  // a modeless test window stays until destroyed
    ::DestroyWindow(start);
    EXPECT_FALSE(::IsWindow(dialog));  // owned: it goes with the start window
}

// The whole road of one start: the start window, a navigation of the start
// page to a "client=1" address, the game window at that address, the exit.
constexpr wchar_t kClientAddress[] = L"http://127.0.0.1:9/wd/tov/index.htm?openid=1&openkey=2&client=1";
CTranslucentDlg* g_road = nullptr;
std::wstring* g_gameAddress = nullptr;

void CALLBACK NavigateStartPage(HWND, UINT, UINT_PTR timer, DWORD) {
    IStandardDialog* start = g_road->GetSkin().m_pDialog.get();
    if (!start || !start->GetHwnd()) return;
    ::KillTimer(nullptr, timer);
    CWebBrwoser2EventListener* listener = static_cast<CMainDlg*>(start)->GetListener();
    ASSERT_NE(listener, nullptr);
    CBeforeNavigateEvent navigation(listener, kClientAddress);  // from a frame of the page
    navigation.SendTo(listener);
}

void CALLBACK LeaveGame(HWND, UINT, UINT_PTR timer, DWORD) {
    CGameDlg& game = g_road->GetGameWindow();
    if (!game.GetHwnd()) return;
    ::KillTimer(nullptr, timer);
    BSTR location = nullptr;
    if (game.GetBrowser() && SUCCEEDED(game.GetBrowser()->get_LocationURL(&location)) && location) {
        *g_gameAddress = location;
    }
    ::SysFreeString(location);
    CNoticeAnswerer answer(IDOK);
    game.ConfirmExit();
}

TEST_F(StartWindowTest, TheWholeRoadFromTheStartPageToTheGameAndOut) {
    CTranslucentDlg app;
    std::wstring gameAddress;
    g_road = &app;
    g_gameAddress = &gameAddress;

    ::SetTimer(nullptr, 0, 50, NavigateStartPage);
    app.RunStartWindowModal();
    EXPECT_EQ(app.GetRunMode(), kRunModeGameWindow);
    ASSERT_EQ(app.GetStartUrl().vt, VT_BSTR);
    EXPECT_STREQ(app.GetStartUrl().bstrVal, kClientAddress);

    ::SetTimer(nullptr, 0, 50, LeaveGame);
    app.RunGameWindow();
    EXPECT_EQ(gameAddress, kClientAddress);
    EXPECT_EQ(app.GetGameWindow().GetHwnd(), nullptr);
    g_road = nullptr;
}

}  // namespace
