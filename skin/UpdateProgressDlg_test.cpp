#include "skin/UpdateProgressDlg.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "res/resource.h"
#include "testsupport/TestWindows.h"
#include "toolkit/GdiOwners.h"

namespace {

std::wstring ShownText(HWND window) {
    wchar_t text[64] = {};
    ::GetDlgItemTextW(window, IDC_UPDATE_TEXT, text, 64);
    return text;
}

LRESULT BarPosition(HWND window) { return ::SendDlgItemMessageW(window, IDC_UPDATE_BAR, PBM_GETPOS, 0, 0); }

// The rectangle of window's control id in window's client coordinates.
RECT ControlRect(HWND window, int id) {
    RECT rc = WindowRect(::GetDlgItem(window, id));
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

bool Near(COLORREF a, COLORREF b) {
    return std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
               std::abs(GetBValue(a) - GetBValue(b)) < 60;
}

// How many pixels of the area, as painted on window, are near colour.
int PixelsNear(HDC painted, const RECT& area, COLORREF colour) {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) count += Near(::GetPixel(painted, x, y), colour);
    }
    return count;
}

TEST(UpdateProgressWindow, ASmallWindowCentredOnTheWorkAreaThatOnlyItsOwnerCloses) {
    CUpdateProgressDlg progress;
    EXPECT_FALSE(CUpdateProgressDlg::BringShownToFront());
    ASSERT_TRUE(progress.Show());
    const HWND window = progress.m_hWnd;
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_TRUE(CUpdateProgressDlg::BringShownToFront());

    EXPECT_TRUE(IsCentredIn(WindowRect(window), WorkArea(), 360, 112));
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

TEST(UpdateProgressWindow, ShowsItsTitleTextAndBarOnScreen) {
    CUpdateProgressDlg progress;
    ASSERT_TRUE(progress.Show());
    const HWND window = progress.m_hWnd;
    progress.SetProgress(1, 2);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const CWindowDC painted(window);

    // Parchment-coloured glyphs in the text's place, gold-yellow ones in the
    // title strip's left part.
    EXPECT_GT(PixelsNear(painted.get(), ControlRect(window, IDC_UPDATE_TEXT), RGB(0xf3, 0xe6, 0xc0)), 40);
    EXPECT_GT(PixelsNear(painted.get(), RECT{0, 0, 120, 30}, RGB(255, 255, 0)), 40);
    // Half the bar is filled: its left quarter looks unlike its right quarter.
    const RECT bar = ControlRect(window, IDC_UPDATE_BAR);
    const int middle = (bar.top + bar.bottom) / 2, width = bar.right - bar.left;
    EXPECT_FALSE(Near(::GetPixel(painted.get(), bar.left + width / 4, middle),
                      ::GetPixel(painted.get(), bar.right - width / 4, middle)));
}

}  // namespace
