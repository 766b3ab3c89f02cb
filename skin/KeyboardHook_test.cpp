// The fake browser is built from C-style interface tables, so that it fills
// in only the methods the control host and the hook call.
#define CINTERFACE
#include "skin/KeyboardHook.h"

#include <exdisp.h>
#include <oleidl.h>

#include <gtest/gtest.h>

#include <vector>

#include "toolkit/ControlHost.h"

namespace {

TEST(KeyboardMessageForTest, OnlyTabWhileDownAndReturnUpWithItsToggleBit) {
    const struct {
        WPARAM key;
        SHORT state;
        UINT expected;  // 0: no message
    } cases[] = {{VK_TAB, -128, WM_KEYDOWN}, {VK_TAB, -127, WM_KEYDOWN}, {VK_TAB, 0, 0},
                 {VK_TAB, 1, 0},             {VK_RETURN, 1, WM_KEYUP},   {VK_RETURN, 0, 0},
                 {VK_RETURN, -128, 0},       {VK_RETURN, -127, 0},       {'A', -128, 0},
                 {VK_SPACE, 1, 0}};
    for (const auto& c : cases) {
        UINT message = 0;
        EXPECT_EQ(KeyboardMessageFor(c.key, c.state, &message), c.expected != 0) << c.key << " " << c.state;
        EXPECT_EQ(message, c.expected) << c.key << " " << c.state;
    }
}

// One COM object that is a hosted control, a web browser and that browser's
// document, whose accelerator translation records what it is given; with
// the class factory that makes it.
struct FakeBrowser {
    IOleObject control;
    IWebBrowser2 browser;
    IOleInPlaceActiveObject document;
    IClassFactory factory;
    ULONG refs = 0;
    bool hasDocument = true;
    std::vector<MSG> translated;
};
FakeBrowser* g_fake = nullptr;

template <class Interface>
HRESULT STDMETHODCALLTYPE FakeQuery(Interface*, REFIID iid, void** object) {
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleObject) *object = &g_fake->control;
    if (iid == IID_IDispatch || iid == IID_IWebBrowser2) *object = &g_fake->browser;
    if (iid == IID_IOleInPlaceActiveObject) *object = &g_fake->document;
    if (iid == IID_IClassFactory) *object = &g_fake->factory;
    if (!*object) return E_NOINTERFACE;
    ++g_fake->refs;
    return S_OK;
}
template <class Interface>
ULONG STDMETHODCALLTYPE FakeAddRef(Interface*) {
    return ++g_fake->refs;
}
template <class Interface>
ULONG STDMETHODCALLTYPE FakeRelease(Interface*) {
    return --g_fake->refs;
}
HRESULT STDMETHODCALLTYPE FakeSetClientSite(IOleObject*, IOleClientSite*) { return S_OK; }
HRESULT STDMETHODCALLTYPE FakeClose(IOleObject*, DWORD) { return S_OK; }
HRESULT STDMETHODCALLTYPE FakeDoVerb(IOleObject*, LONG, MSG*, IOleClientSite*, LONG, HWND, const RECT*) { return S_OK; }
HRESULT STDMETHODCALLTYPE FakeGetMiscStatus(IOleObject*, DWORD, DWORD* status) { return *status = 0, S_OK; }
// Without a page the real browser answers S_OK and no document.
HRESULT STDMETHODCALLTYPE FakeGetDocument(IWebBrowser2* self, IDispatch** document) {
    *document = g_fake->hasDocument ? reinterpret_cast<IDispatch*>(self) : nullptr;
    if (*document) ++g_fake->refs;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE FakeTranslateAccelerator(IOleInPlaceActiveObject*, MSG* msg) {
    g_fake->translated.push_back(*msg);
    return S_FALSE;
}
HRESULT STDMETHODCALLTYPE FakeCreateInstance(IClassFactory* self, IUnknown*, REFIID iid, void** object) {
    return FakeQuery(self, iid, object);
}
HRESULT STDMETHODCALLTYPE FakeLockServer(IClassFactory*, BOOL) { return S_OK; }

// The slots left null are never called.
template <class Table, class Interface>
Table* TableFor(Interface& object) {
    static Table table{};
    table.QueryInterface = FakeQuery<Interface>;
    table.AddRef = FakeAddRef<Interface>;
    table.Release = FakeRelease<Interface>;
    object.lpVtbl = &table;
    return &table;
}
void SetUpFake(FakeBrowser& fake) {
    IOleObjectVtbl* control = TableFor<IOleObjectVtbl>(fake.control);
    control->SetClientSite = FakeSetClientSite;
    control->Close = FakeClose;
    control->DoVerb = FakeDoVerb;
    control->GetMiscStatus = FakeGetMiscStatus;
    TableFor<IWebBrowser2Vtbl>(fake.browser)->get_Document = FakeGetDocument;
    TableFor<IOleInPlaceActiveObjectVtbl>(fake.document)->TranslateAccelerator = FakeTranslateAccelerator;
    IClassFactoryVtbl* factory = TableFor<IClassFactoryVtbl>(fake.factory);
    factory->CreateInstance = FakeCreateInstance;
    factory->LockServer = FakeLockServer;
    g_fake = &fake;
}

constexpr wchar_t kFakeClass[] = L"{6E3C1A52-0B7D-4F2C-9A41-5D2B7E8F1C03}";

// A top-level window with the keyboard focus and a host child, in a
// single-threaded apartment where kFakeClass makes the fake browser.
class KeyboardHookTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::CoInitialize(nullptr);
        ASSERT_TRUE(RegisterControlHostClass());
        SetUpFake(m_fake);
        CLSID clsid{};
        ::CLSIDFromString(kFakeClass, &clsid);
        ASSERT_EQ(::CoRegisterClassObject(clsid, reinterpret_cast<IUnknown*>(&m_fake.factory), CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &m_cookie),
                  S_OK);
        m_frame = ::CreateWindowExW(0, L"STATIC", L"keys", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
        m_host = ::CreateWindowExW(0, kControlHostClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 300, 200, m_frame, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(m_host, nullptr);
        ::SetForegroundWindow(m_frame);
        ::SetFocus(m_frame);
    }
    void TearDown() override {
        ::DestroyWindow(m_frame);  // lets the fake go while it still exists
        ::CoRevokeClassObject(m_cookie);
        g_fake = nullptr;
        ::CoUninitialize();
    }
    void HostFake() { ASSERT_EQ(CreateControlInHost(m_host, kFakeClass), S_OK); }

    FakeBrowser m_fake;
    DWORD m_cookie = 0;
    HWND m_frame = nullptr;
    HWND m_host = nullptr;
};

void PressKey(WORD key) {
    INPUT input[2]{};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, input, sizeof(INPUT));
}

// Runs the thread's queue dry; the keys that came out of it as WM_KEYDOWN.
std::vector<WPARAM> PumpKeyDowns() {
    std::vector<WPARAM> keys;
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_KEYDOWN) keys.push_back(msg.wParam);
        ::DispatchMessageW(&msg);
    }
    return keys;
}

TEST_F(KeyboardHookTest, NothingIsForwardedWithoutABrowserOrADocument) {
    MSG msg{};
    msg.hwnd = m_host;
    msg.message = WM_KEYDOWN;
    msg.wParam = VK_TAB;
    EXPECT_FALSE(ForwardKeyToBrowser(nullptr, msg));
    EXPECT_FALSE(ForwardKeyToBrowser(m_host, msg));  // a host with no control
    HostFake();
    m_fake.hasDocument = false;
    EXPECT_FALSE(ForwardKeyToBrowser(m_host, msg));
    EXPECT_TRUE(m_fake.translated.empty());
}

TEST_F(KeyboardHookTest, TheHookHandsTabAndReturnToThePageAndPassesEveryKeyOn) {
    HostFake();
    const ULONG held = m_fake.refs;
    g_hBrowserHost = m_host;
    ASSERT_TRUE(InstallKeyboardHook());
    const HHOOK hook = g_hKeyboardHook;
    EXPECT_TRUE(InstallKeyboardHook());
    EXPECT_EQ(g_hKeyboardHook, hook);  // installed once only

    PressKey(VK_TAB);
    PressKey('A');
    PressKey(VK_RETURN);
    PressKey(VK_RETURN);  // its toggle bit flips on each press
    // The hook sees the key state from before each keystroke; whichever
    // transition carries them, Tab and Return are each handed over once.
    EXPECT_EQ(PumpKeyDowns(), (std::vector<WPARAM>{VK_TAB, 'A', VK_RETURN, VK_RETURN}));
    ASSERT_EQ(m_fake.translated.size(), 2u);
    EXPECT_EQ(m_fake.translated[0].hwnd, m_host);
    EXPECT_EQ(m_fake.translated[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(m_fake.translated[0].wParam, static_cast<WPARAM>(VK_TAB));
    EXPECT_EQ(m_fake.translated[0].lParam & 0xFFFF, 1);  // the keystroke flags come along: one repeat
    EXPECT_EQ(m_fake.translated[1].message, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(m_fake.translated[1].wParam, static_cast<WPARAM>(VK_RETURN));
    EXPECT_EQ(m_fake.refs, held);  // every interface obtained on the way was released

    RemoveKeyboardHook();
    RemoveKeyboardHook();  // fails quietly
    PressKey(VK_TAB);
    EXPECT_EQ(PumpKeyDowns(), std::vector<WPARAM>{VK_TAB});
    EXPECT_EQ(m_fake.translated.size(), 2u);
    g_hBrowserHost = nullptr;
}

}  // namespace
