#include "skin/UpdateProgressDlg.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "res/resource.h"
#include "testsupport/TestWindows.h"

namespace {

std::wstring ShownText(HWND window) {
    wchar_t text[64] = {};
    ::GetDlgItemTextW(window, IDC_UPDATE_TEXT, text, 64);
    return text;
}

LRESULT BarPosition(HWND window) { return ::SendDlgItemMessageW(window, IDC_UPDATE_BAR, PBM_GETPOS, 0, 0); }

TEST(UpdateProgressWindow, ASmallWindowCentredOnTheWorkAreaThatOnlyItsOwnerCloses) {
    CUpdateProgressDlg progress;
    EXPECT_FALSE(CUpdateProgressDlg::BringShownToFront());
    ASSERT_TRUE(progress.Show());
    const HWND window = progress.m_hWnd;
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_TRUE(CUpdateProgressDlg::BringShownToFront());

    const RECT work = WorkArea();
    const RECT placed = WindowRect(window);
    EXPECT_EQ(placed.right - placed.left, 360);
    EXPECT_EQ(placed.bottom - placed.top, 112);
    EXPECT_LE(std::abs((placed.left - work.left) - (work.right - placed.right)), 1);
    EXPECT_LE(std::abs((placed.top - work.top) - (work.bottom - placed.bottom)), 1);
    EXPECT_EQ(::GetWindowLongW(window, GWL_STYLE) & (WS_CAPTION | WS_SYSMENU), 0);
    EXPECT_EQ(ShownText(window), L"正在更新… 0%");

    // Rounded down, never over 100, and whole for builds near 4 GiB too.
    struct Case { uint32_t received, total; int shown; };
    for (const Case& c : {Case{1, 3, 33}, Case{2, 3, 66}, Case{1400000, 1400000, 100}, Case{4000000000u, 4200000000u, 95},
                          Case{7, 5, 100}}) {
        progress.SetProgress(c.received, c.total);
        EXPECT_EQ(BarPosition(window), c.shown) << c.received << " of " << c.total;
        EXPECT_EQ(ShownText(window), L"正在更新… " + std::to_wstring(c.shown) + L"%") << c.received;
    }
    progress.SetProgress(1, 0);  // no total: nothing changes
    EXPECT_EQ(BarPosition(window), 100);

    // No way to cancel: Alt+F4 and Esc leave it there.
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    ::SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    DispatchPendingMessages();
    EXPECT_TRUE(::IsWindow(window));
    progress.Close();
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(progress.m_hWnd, nullptr);
}

}  // namespace
