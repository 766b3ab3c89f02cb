#include "skin/MyButton.h"

#include <gtest/gtest.h>

#include <vector>

#include "res/resource.h"
#include "testsupport/TestWindows.h"
#include "toolkit/DialogBase.h"
#include "toolkit/Reflection.h"

namespace {

constexpr int kButtonId = 1006;

// What the windows of one test saw.
struct Seen {
    std::vector<UINT> passedOn;  // mouse messages the button's previous procedure got
    int clicks = 0;              // BN_CLICKED from the button at its parent
};
Seen* g_seen = nullptr;
WNDPROC g_buttonProc = nullptr;

// Sits between MyButton and the real button procedure, recording what it is given.
LRESULT CALLBACK SpyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_seen && message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) g_seen->passedOn.push_back(message);
    return ::CallWindowProcW(g_buttonProc, window, message, wParam, lParam);
}

// A parent that reflects its children's notifications, as the dialogs do.
LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == kButtonId && HIWORD(wParam) == BN_CLICKED && g_seen) {
        ++g_seen->clicks;
    }
    LRESULT result = 0;
    if (message != WM_COMMAND && ReflectNotifications(window, message, wParam, lParam, result)) return result;
    return ::DefWindowProcW(window, message, wParam, lParam);
}

class CCountingButton : public MyButton {
public:
    void DrawItem(const DRAWITEMSTRUCT* item) override {
        ++draws;
        MyButton::DrawItem(item);
    }
    int draws = 0;
};

// A visible parent with a fresh button in it for every test.
class MyButtonTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterTestWindowClass(L"MyButtonTestParent", ParentProc); }

    void SetUp() override {
        g_seen = &m_seen;
        m_parent = ::CreateWindowExW(0, L"MyButtonTestParent", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300,
                                     200, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(m_parent, nullptr);
        m_button = ::CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 20, 20, 60, 50,
                                     m_parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonId)),
                                     ::GetModuleHandleW(nullptr), nullptr);
        g_buttonProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(m_button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SpyProc)));
        ASSERT_TRUE(m_myButton.Attach(m_button, 295, 294, 293, 293));
    }
    void TearDown() override {
        ::ReleaseCapture();
        DestroyShownWindow(m_parent);
        g_seen = nullptr;
    }
    LRESULT Send(UINT message, int x = 5, int y = 5) {
        return ::SendMessageW(m_button, message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(x, y));
    }

    Seen m_seen;
    HWND m_parent = nullptr;
    HWND m_button = nullptr;
    CCountingButton m_myButton;
};

TEST_F(MyButtonTest, AttachToNoControlDoesNothing) {
    MyButton unused;
    EXPECT_FALSE(unused.Attach(nullptr, 295, 294, 293, 293));
    EXPECT_EQ(unused.m_hWnd, nullptr);
}

TEST_F(MyButtonTest, TheFirstMoveSelectsHoverAndIsNotPassedOn) {
    Send(WM_MOUSEMOVE);
    EXPECT_EQ(m_myButton.LastDrawn(), ButtonPicture::kHover);
    EXPECT_TRUE(m_seen.passedOn.empty());
    Send(WM_MOUSEMOVE);
    Send(WM_MOUSEMOVE);
    EXPECT_EQ(m_seen.passedOn, (std::vector<UINT>{WM_MOUSEMOVE, WM_MOUSEMOVE}));
    Send(WM_MOUSELEAVE);
    EXPECT_EQ(m_myButton.LastDrawn(), ButtonPicture::kNormal);
}

TEST_F(MyButtonTest, AClickInsideIsReportedAndShowsPressedUntilRelease) {
    Send(WM_MOUSEMOVE);
    Send(WM_LBUTTONDOWN);
    EXPECT_EQ(m_myButton.LastDrawn(), ButtonPicture::kPressed);
    EXPECT_EQ(::GetCapture(), m_button);
    Send(WM_LBUTTONUP);
    EXPECT_EQ(m_myButton.LastDrawn(), ButtonPicture::kHover);
    EXPECT_EQ(m_seen.clicks, 1);
    EXPECT_EQ(m_seen.passedOn, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
}

TEST_F(MyButtonTest, PressDragOffAndReleaseOutsideReportsNoClick) {
    Send(WM_MOUSEMOVE);
    Send(WM_LBUTTONDOWN);
    Send(WM_MOUSEMOVE, 200, 150);  // off the button: capture keeps it coming here
    EXPECT_EQ(m_myButton.LastDrawn(), ButtonPicture::kPressed);
    Send(WM_LBUTTONUP, 200, 150);
    EXPECT_NE(m_myButton.LastDrawn(), ButtonPicture::kPressed);
    EXPECT_EQ(m_seen.clicks, 0);
}

TEST_F(MyButtonTest, LeavingWhilePressedClearsOnlyHover) {
    Send(WM_MOUSEMOVE);
    Send(WM_LBUTTONDOWN);
    Send(WM_MOUSELEAVE);
    EXPECT_EQ(m_myButton.LastDrawn(), ButtonPicture::kPressed);
    Send(WM_LBUTTONUP, 200, 150);
    EXPECT_EQ(m_myButton.LastDrawn(), ButtonPicture::kNormal);
}

TEST_F(MyButtonTest, ADisabledButtonAlwaysShowsItsDisabledPicture) {
    ::EnableWindow(m_button, FALSE);
    ::InvalidateRect(m_button, nullptr, TRUE);
    ::UpdateWindow(m_button);
    EXPECT_EQ(m_myButton.LastDrawn(), ButtonPicture::kDisabled);
    Send(WM_MOUSEMOVE);  // sent directly: a disabled window gets no real input
    Send(WM_LBUTTONDOWN);
    EXPECT_EQ(m_myButton.LastDrawn(), ButtonPicture::kDisabled);
}

TEST_F(MyButtonTest, DrawItemAtTheParentReachesTheButtonReflected) {
    const int before = m_myButton.draws;
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = kButtonId;
    item.hwndItem = m_button;
    EXPECT_EQ(::SendMessageW(m_parent, WM_DRAWITEM, kButtonId, reinterpret_cast<LPARAM>(&item)), TRUE);
    EXPECT_EQ(m_myButton.draws, before + 1);
    // A reflected message the button has no handler for gets the default
    // processing of the original notification.
    EXPECT_EQ(::SendMessageW(m_button, kReflectedBase + WM_HSCROLL, 0, 0), 0);
}

// The start dialog's template with the dialog base's own map, which reflects
// what it does not handle, as every dialog's map does at its end.
class CStartTemplateDialog : public CDialogBase {
public:
    CStartTemplateDialog() : CDialogBase(IDD_MAIN_DIALOG) {}
};

TEST(MyButtonInADialog, DrawItemSentToTheDialogReachesTheButton) {
    CStartTemplateDialog dialog;
    ASSERT_NE(dialog.Create(), nullptr);
    CCountingButton button;
    const int exitId = ControlId(StartDialogButton::kExit);
    const HWND control = ::GetDlgItem(dialog.m_hWnd, exitId);
    ASSERT_TRUE(button.Attach(control, 292, 291, 290, 290));
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = static_cast<UINT>(exitId);
    item.hwndItem = control;
    ::SendMessageW(dialog.m_hWnd, WM_DRAWITEM, static_cast<WPARAM>(exitId), reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(button.draws, 1);
    EXPECT_EQ(button.LastDrawn(), ButtonPicture::kNormal);
    ::DestroyWindow(dialog.m_hWnd);
}

}  // namespace
