#include "toolkit/DialogBase.h"

#include <gtest/gtest.h>

#include <vector>

#include "testsupport/TestWindows.h"

namespace {

constexpr WORD kTemplate = 129;  // a pop-up template with four controls

class CRecordingDialog : public CDialogBase {
public:
    CRecordingDialog() : CDialogBase(kTemplate) {}
    LPARAM initParam = -1;
    std::vector<UINT> seen;
    int finalMessages = 0;
    bool endOnApp = false;

protected:
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM, LPARAM lParam, LRESULT& result) override {
        seen.push_back(message);
        switch (message) {
            case WM_INITDIALOG:
                initParam = lParam;
                if (endOnApp) ::PostMessageW(window, WM_APP, 0, 0);
                result = FALSE;  // no default focus
                return true;
            case WM_APP:
                if (endOnApp) EndDialog(42);
                return true;
            case WM_APP + 1:
                result = 1234;
                return true;
            case WM_CTLCOLORDLG:
                result = reinterpret_cast<LRESULT>(::GetStockObject(BLACK_BRUSH));
                return true;
            default:
                return false;
        }
    }
    void OnFinalMessage(HWND) override { ++finalMessages; }
};

TEST(DialogBase, AModalRunEndsWithTheValueGivenToEndDialog) {
    CRecordingDialog dialog;
    dialog.endOnApp = true;
    EXPECT_EQ(dialog.DoModal(nullptr, 77), 42);
    EXPECT_EQ(dialog.initParam, 77);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
    EXPECT_EQ(dialog.finalMessages, 1);
    // WM_SETFONT comes first and already reaches the map.
    ASSERT_FALSE(dialog.seen.empty());
    EXPECT_EQ(dialog.seen.front(), static_cast<UINT>(WM_SETFONT));
}

TEST(DialogBase, AModelessDialogAnswersThroughItsMap) {
    CRecordingDialog dialog;
    const HWND window = dialog.Create(nullptr, 5);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(dialog.m_hWnd, window);
    EXPECT_EQ(dialog.initParam, 5);
    EXPECT_NE(::GetDlgItem(window, 1008), nullptr);
    EXPECT_EQ(::SendMessageW(window, WM_APP + 1, 0, 0), 1234);  // through DWLP_MSGRESULT
    EXPECT_EQ(::SendMessageW(window, WM_CTLCOLORDLG, 0, 0),     // returned directly
              reinterpret_cast<LRESULT>(::GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(::SendMessageW(window, WM_APP + 2, 0, 0), 0);     // not handled
    ::DestroyWindow(window);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
    EXPECT_EQ(dialog.finalMessages, 1);
}

TEST(DialogBase, CentringWithoutAVisibleOwnerUsesTheNearestWorkArea) {
    CRecordingDialog dialog;
    ASSERT_NE(dialog.Create(), nullptr);
    ::SetWindowPos(dialog.m_hWnd, nullptr, 0, 0, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(dialog.CenterWindow());
    const RECT placed = WindowRect(dialog.m_hWnd);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(dialog.m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    // Its size kept.
    EXPECT_TRUE(IsCentredIn(placed, work, 300, 200));
    ::DestroyWindow(dialog.m_hWnd);
}

}  // namespace
