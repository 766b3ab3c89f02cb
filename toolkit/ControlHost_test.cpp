#include "toolkit/ControlHost.h"

#include <exdisp.h>
#include <oleidl.h>

#include <gtest/gtest.h>

#include <vector>

#include "toolkit/MessageLoop.h"

namespace {

// A top-level window with a host child, in a single-threaded apartment.
class ControlHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::CoInitialize(nullptr);
        ASSERT_TRUE(RegisterControlHostClass());
        EXPECT_TRUE(RegisterControlHostClass());  // a second call finds it registered
        m_frame = ::CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
        m_host = ::CreateWindowExW(0, kControlHostClass, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 0, 300, 200,
                                   m_frame, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(m_host, nullptr);
    }
    void TearDown() override {
        ::DestroyWindow(m_frame);
        ::CoUninitialize();
    }

    HWND m_frame = nullptr;
    HWND m_host = nullptr;
};

TEST_F(ControlHostTest, AnAddressCreatesAVisibleBrowserInPlace) {
    ASSERT_EQ(CreateControlInHost(m_host, L"http://127.0.0.1:9/wd/tov/index.htm"), S_OK);
    IWebBrowser2* browser = nullptr;
    ASSERT_EQ(QueryHostedControl(m_host, IID_IWebBrowser2, reinterpret_cast<void**>(&browser)), S_OK);
    ASSERT_NE(browser, nullptr);
    VARIANT_BOOL visible = VARIANT_FALSE;
    browser->get_Visible(&visible);
    EXPECT_EQ(visible, VARIANT_TRUE);
    browser->Release();
    // In-place activation put the browser's own window inside the host.
    EXPECT_NE(::FindWindowExW(m_host, nullptr, L"Shell Embedding", nullptr), nullptr);
    // One control per host.
    EXPECT_EQ(CreateControlInHost(m_host, L"http://127.0.0.1:9/"), E_UNEXPECTED);
}

TEST_F(ControlHostTest, TheHostReleasesEverythingWhenItGoes) {
    ASSERT_EQ(CreateControlInHost(m_host, L"about:blank"), S_OK);
    IUnknown* control = nullptr;
    ASSERT_EQ(QueryHostedControl(m_host, IID_IUnknown, reinterpret_cast<void**>(&control)), S_OK);
    ::DestroyWindow(m_host);
    // Only our own reference is left.
    EXPECT_EQ(control->Release(), 0u);
    IUnknown* none = nullptr;
    EXPECT_EQ(QueryHostedControl(m_host, IID_IUnknown, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
}

TEST_F(ControlHostTest, AnExistingWindowCanBeTakenOverAsAHost) {
    const HWND placeholder = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 200, 150, m_frame,
                                               nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_EQ(CreateControlInHost(placeholder, L"about:blank"), S_OK);
    IWebBrowser2* browser = nullptr;
    ASSERT_EQ(QueryHostedControl(placeholder, IID_IWebBrowser2, reinterpret_cast<void**>(&browser)), S_OK);
    browser->Release();
    // The placeholder still answers as a static control does.
    EXPECT_EQ(::SendMessageW(placeholder, WM_GETDLGCODE, 0, 0), DLGC_STATIC);
}

TEST_F(ControlHostTest, ForwardedMessagesAreOfferedOnlyWithAControl) {
    MSG msg{};
    msg.hwnd = m_host;
    msg.message = WM_KEYDOWN;
    msg.wParam = 'A';
    EXPECT_EQ(::SendMessageW(m_host, WM_FORWARDMSG, 0, reinterpret_cast<LPARAM>(&msg)), 0);  // no control yet
    ASSERT_EQ(CreateControlInHost(m_host, L"about:blank"), S_OK);
    EXPECT_EQ(::SendMessageW(m_host, WM_FORWARDMSG, 0, 0), 0);  // no message given
}

// An in-place active object that records what it is offered.
class CRecordingActiveObject final : public IOleInPlaceActiveObject {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        *object = iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IOleInPlaceActiveObject ? this : nullptr;
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG* msg) override {
        offered.push_back(msg->message);
        return answer;
    }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

    ULONG refs = 1;
    HRESULT answer = S_OK;
    std::vector<UINT> offered;
};

TEST_F(ControlHostTest, ForwardedMessagesReachTheActiveObjectsAcceleratorTranslation) {
    ASSERT_EQ(CreateControlInHost(m_host, L"about:blank"), S_OK);
    IOleObject* control = nullptr;
    ASSERT_EQ(QueryHostedControl(m_host, IID_IOleObject, reinterpret_cast<void**>(&control)), S_OK);
    IOleClientSite* site = nullptr;
    ASSERT_EQ(control->GetClientSite(&site), S_OK);
    control->Release();
    IOleInPlaceFrame* frame = nullptr;
    ASSERT_EQ(site->QueryInterface(IID_IOleInPlaceFrame, reinterpret_cast<void**>(&frame)), S_OK);
    site->Release();

    CRecordingActiveObject active;
    frame->SetActiveObject(&active, nullptr);
    MSG msg{m_host, WM_KEYDOWN, VK_F5, 0, 0, {}};
    EXPECT_EQ(::SendMessageW(m_host, WM_FORWARDMSG, 0, reinterpret_cast<LPARAM>(&msg)), 1);  // consumed
    active.answer = S_FALSE;
    msg.message = WM_KEYUP;
    EXPECT_EQ(::SendMessageW(m_host, WM_FORWARDMSG, 0, reinterpret_cast<LPARAM>(&msg)), 0);  // passed on
    EXPECT_EQ(active.offered, (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));
    frame->SetActiveObject(nullptr, nullptr);
    frame->Release();
    EXPECT_EQ(active.refs, 1u);  // the host gave back its reference
}

TEST_F(ControlHostTest, AnUnknownClassNameCreatesNothing) {
    EXPECT_TRUE(FAILED(CreateControlInHost(m_host, L"No.Such.Control")));
    IUnknown* none = nullptr;
    EXPECT_EQ(QueryHostedControl(m_host, IID_IUnknown, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
    EXPECT_EQ(CreateControlInHost(nullptr, L"about:blank"), E_INVALIDARG);
}

}  // namespace
