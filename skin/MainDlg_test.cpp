#include "skin/MainDlg.h"

#include <exdispid.h>

#include <gtest/gtest.h>

#include <string>

#include "res/resource.h"
#include "skin/KeyboardHook.h"
#include "testsupport/BrowserEvents.h"
#include "testsupport/ComApartment.h"
#include "toolkit/ControlHost.h"

namespace {

class StartDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_target = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        ASSERT_EQ(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2,
                                     m_browser.put_void()), S_OK);
        m_browser->put_Silent(VARIANT_FALSE);
    }
    void TearDown() override { ::DestroyWindow(m_target); }
    bool DestroyPosted() {
        MSG msg{};
        return ::PeekMessageW(&msg, m_target, WM_DESTROY, WM_DESTROY, PM_REMOVE) != FALSE;
    }
    std::wstring StartUrl() const { return m_url.get()->vt == VT_BSTR ? m_url.get()->bstrVal : L"(none)"; }
    bool Silent() const {
        VARIANT_BOOL silent = VARIANT_FALSE;
        m_browser->get_Silent(&silent);
        return silent != VARIANT_FALSE;
    }
    // Clicks the dialog's button.
    static void Click(HWND dialog, StartDialogButton button) {
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(ControlId(button), BN_CLICKED), 0);
    }

    CComApartment m_apartment;
    CVariant m_url;
    RunMode m_mode = kRunModeStartWindow;
    HWND m_target = nullptr;
    CComPtr<IWebBrowser2> m_browser;
};

TEST_F(StartDialogTest, AClientAddressEndsTheStartPhaseThere) {
    CWebBrwoser2EventListener listener(m_target, {&m_url, &m_mode});
    const wchar_t* address = L"http://game.example/wd/tov/index.htm?openid=7&openkey=x&client=1";
    CBeforeNavigateEvent navigation(m_browser.get(), address);
    EXPECT_EQ(navigation.SendTo(&listener), S_OK);
    EXPECT_EQ(StartUrl(), address);
    EXPECT_EQ(m_mode, kRunModeGameWindow);
    EXPECT_TRUE(DestroyPosted());
    EXPECT_EQ(navigation.cancel, VARIANT_FALSE);
    EXPECT_TRUE(Silent());

    // "client=10" holds the word too, and a frame's navigation counts alike.
    IDispatch* frame = &listener;  // any dispatch that is not the top-level browser
    CBeforeNavigateEvent frameNavigation(frame, L"http://game.example/f?client=10");
    frameNavigation.SendTo(&listener);
    EXPECT_EQ(StartUrl(), L"http://game.example/f?client=10");
    EXPECT_TRUE(DestroyPosted());
}

TEST_F(StartDialogTest, OtherAddressesAndEventsChangeNothing) {
    CWebBrwoser2EventListener listener(m_target, {&m_url, &m_mode});
    for (const wchar_t* address : {L"client=1&a=b", L"http://game.example/?client=2", L"http://g/?CLIENT=1"}) {
        CBeforeNavigateEvent navigation(m_browser.get(), address);
        navigation.SendTo(&listener);
        EXPECT_EQ(navigation.cancel, VARIANT_FALSE) << address;
    }
    CBeforeNavigateEvent newWindow(m_browser.get(), L"http://game.example/?client=1");
    newWindow.SendTo(&listener, DISPID_NEWWINDOW3);
    EXPECT_EQ(newWindow.cancel, VARIANT_TRUE);  // left to the browser
    EXPECT_EQ(m_url.get()->vt, VT_EMPTY);
    EXPECT_EQ(m_mode, kRunModeStartWindow);
    EXPECT_FALSE(DestroyPosted());
    EXPECT_EQ(listener.Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, 0, nullptr, nullptr, nullptr, nullptr), S_OK);
}

TEST_F(StartDialogTest, DocumentCompleteMakesTheBrowserSilent) {
    CWebBrwoser2EventListener listener(m_target, {&m_url, &m_mode});
    EXPECT_EQ(SendDocumentComplete(&listener, m_browser.get(), L"http://game.example/"), S_OK);
    EXPECT_TRUE(Silent());
}

TEST_F(StartDialogTest, TheDialogHostsTheStartPageOverAGreenKey) {
    auto* dialog = new CMainDlg(m_target, {&m_url, &m_mode});
    ASSERT_EQ(dialog->CreateAndShow(), 1);
    const HWND window = dialog->GetHwnd();
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(::GetLayeredWindowAttributes(window, &key, &alpha, &flags));
    EXPECT_EQ(flags, static_cast<DWORD>(LWA_COLORKEY));
    EXPECT_EQ(key, RGB(0, 255, 0));  // exactly this green is transparent,
    EXPECT_NE(key, RGB(0, 254, 0));  // nearly this green is not
    LOGBRUSH brush{};
    ::GetObjectW(reinterpret_cast<HBRUSH>(::SendMessageW(window, WM_CTLCOLORDLG, 0, 0)), sizeof brush, &brush);
    EXPECT_EQ(brush.lbColor, RGB(0, 255, 0));

    EXPECT_EQ(g_hBrowserHost, ::GetDlgItem(window, IDC_BROWSER_PLACE));
    CComPtr<IWebBrowser2> browser;  // outlives the window
    ASSERT_EQ(QueryHostedControl(g_hBrowserHost, IID_IWebBrowser2, browser), S_OK);
    EXPECT_EQ(browser.get(), dialog->GetBrowser());
    EXPECT_TRUE(IsAdvised(browser.get(), dialog->GetListener()));
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(window, ControlId(StartDialogButton::kExit))));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(window, ControlId(StartDialogButton::kGoOn))));

    // Minimise minimises the start window; go-on goes on to the game.
    Click(window, StartDialogButton::kMinimise);
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, m_target, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(SC_MINIMIZE));
    Click(window, StartDialogButton::kGoOn);
    EXPECT_EQ(m_mode, kRunModeGameWindow);
    EXPECT_TRUE(DestroyPosted());
    EXPECT_EQ(m_url.get()->vt, VT_EMPTY);

    // The page's events end with the window.
    dialog->DestroyDialog();
    EXPECT_FALSE(IsAdvised(browser.get(), dialog->GetListener()));
    dialog->DeleteDialog();
}

}  // namespace
