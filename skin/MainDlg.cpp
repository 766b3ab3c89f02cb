#include "skin/MainDlg.h"

#include <exdispid.h>

#include <cstdint>
#include <cwchar>
#include <iterator>
#include <new>

#include "common/GamePage.h"
#include "res/resource.h"
#include "skin/KeyboardHook.h"
#include "toolkit/ComHolders.h"
#include "toolkit/ControlHost.h"
#include "toolkit/Reflection.h"
#include "toolkit/WindowIcons.h"

namespace {

constexpr wchar_t kWindowText[] = L"Orlenmark";
constexpr wchar_t kStartWord[] = L"client=1";

// The buttons in the order they are attached, with their normal, hover,
// pressed and disabled pictures. Only 1008, 1007 and 1006 are in the
// template; the others find no control and are skipped.
struct ButtonPictures {
    int id;
    uint16_t normal, hover, pressed, disabled;
};
constexpr ButtonPictures kButtons[] = {
    {1008, 292, 291, 290, 290}, {1007, 277, 276, 275, 275}, {1006, 272, 273, 274, 274},
    {1010, 289, 288, 287, 287}, {1009, 286, 285, 284, 284}, {1013, 280, 279, 278, 278},
    {1012, 283, 282, 281, 281},
};
static_assert(std::size(kButtons) == 7);

// The address an event argument holds, by reference or by value; null for
// anything else.
const wchar_t* AddressOf(const VARIANT& argument) {
    const VARIANT* value = &argument;
    if (argument.vt == (VT_BYREF | VT_VARIANT)) value = argument.pvarVal;
    return value && value->vt == VT_BSTR ? value->bstrVal : nullptr;
}

IDispatch* DispatchOf(const VARIANT& argument) { return argument.vt == VT_DISPATCH ? argument.pdispVal : nullptr; }

// The browser of an event (the top-level one or a frame) shows no dialog
// boxes of its own.
void MakeSilent(IDispatch* browser) {
    CComHolder<IWebBrowser2> web;
    if (browser && SUCCEEDED(browser->QueryInterface(IID_IWebBrowser2, web.OutVoid())) && web) web->put_Silent(1);
}

void DebugLine(const wchar_t* text) {
    ::OutputDebugStringW(text ? text : L"");
    ::OutputDebugStringW(L"\n");
}

}  // namespace

CColorKey::~CColorKey() {
    if (m_hBrush) ::DeleteObject(m_hBrush);
}

void CColorKey::ApplyColorKey(HWND window) {
    if (!m_hBrush) m_hBrush = ::CreateSolidBrush(m_crKey);
    ::SetWindowLongW(window, GWL_EXSTYLE, ::GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
    using SetAttributes = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    if (const HMODULE user = ::LoadLibraryW(L"User32.DLL")) {
        const auto set = reinterpret_cast<SetAttributes>(
            reinterpret_cast<void*>(::GetProcAddress(user, "SetLayeredWindowAttributes")));
        if (set) set(window, m_crKey, 0, LWA_COLORKEY);
        ::FreeLibrary(user);
    }
}

STDMETHODIMP CWebBrwoser2EventListener::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != DIID_DWebBrowserEvents2) return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP CWebBrwoser2EventListener::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                               EXCEPINFO*, UINT*) {
    if (!params || !params->rgvarg) return S_OK;
    const VARIANT* args = params->rgvarg;  // the last argument first
    switch (id) {
        case DISPID_BEFORENAVIGATE2:
            if (params->cArgs < 7) break;
            OnBeforeNavigate(DispatchOf(args[6]), AddressOf(args[5]));
            // No navigation is ever cancelled.
            if (args[0].vt == (VT_BYREF | VT_BOOL) && args[0].pboolVal) *args[0].pboolVal = VARIANT_FALSE;
            break;
        case DISPID_DOCUMENTCOMPLETE:
            if (params->cArgs < 2) break;
            OnDocumentComplete(DispatchOf(args[1]), AddressOf(args[0]));
            break;
        default:
            break;  // downloads, progress and new windows are the browser's own business
    }
    return S_OK;
}

void CWebBrwoser2EventListener::OnBeforeNavigate(IDispatch* browser, const wchar_t* address) {
    MakeSilent(browser);
    if (!address) return;
    // The word counts from the address's second character on.
    const wchar_t* word = std::wcsstr(address, kStartWord);
    if (!word || word == address) return;
    DebugLine(address);
    const BSTR url = ::SysAllocString(address);
    if (!url) return;
    ::VariantClear(m_choice.startUrl);
    m_choice.startUrl->vt = VT_BSTR;
    m_choice.startUrl->bstrVal = url;
    *m_choice.runMode = kRunModeGameWindow;
    ::PostMessageW(m_hwndTarget, WM_DESTROY, 0, 0);
}

void CWebBrwoser2EventListener::OnDocumentComplete(IDispatch* browser, const wchar_t* address) {
    DebugLine(address);
    MakeSilent(browser);
}

CMainDlg::CMainDlg(HWND parent, StartChoice choice)
    : CDialogBase(IDD_MAIN_DIALOG), m_hwndParent(parent), m_choice(choice) {
    RegisterControlHostClass();
}

CMainDlg::~CMainDlg() = default;

int CMainDlg::CreateAndShow() {
    const HWND window = Create(m_hwndParent, IDD_MAIN_DIALOG);
    if (!window) return 0;
    ::ShowWindow(window, SW_SHOW);
    return 1;
}

bool CMainDlg::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog();
            result = 1;
            return true;
        case WM_COMMAND:
            if (OnCommand(LOWORD(wParam), HIWORD(wParam))) return true;
            break;
        case WM_CTLCOLORDLG:
            // The background is the key colour, so it is not there at all.
            result = reinterpret_cast<LRESULT>(m_colorKey.m_hBrush);
            return true;
        default:
            break;
    }
    return ReflectNotifications(m_hWnd, message, wParam, lParam, result);
}

void CMainDlg::OnInitDialog() {
    // Only for a moment: the start window gives the dialog its own place.
    CenterWindow();
    SetWindowIcons(m_hWnd, IDI_QUILLMOOR);
    SetUpBrowser();
    for (size_t i = 0; i < std::size(kButtons); ++i) {
        const ButtonPictures& b = kButtons[i];
        m_buttons[i].Attach(::GetDlgItem(m_hWnd, b.id), b.normal, b.hover, b.pressed, b.disabled);
    }
    ::SetWindowTextW(m_hWnd, kWindowText);
    m_pWebBrowser = nullptr;
    m_colorKey.ApplyColorKey(GetHwnd());
}

void CMainDlg::SetUpBrowser() {
    // The placeholder control itself becomes the browser's host.
    m_wndBrowser = ::GetDlgItem(m_hWnd, IDC_BROWSER_PLACE);
    g_hBrowserHost = m_wndBrowser;
    if (!m_wndBrowser || CreateControlInHost(m_wndBrowser, GameCreationText().c_str()) != S_OK) return;
    if (FAILED(QueryHostedControl(m_wndBrowser, IID_IWebBrowser2, reinterpret_cast<void**>(&m_pWebBrowser))) ||
        !m_pWebBrowser) {
        return;
    }
    VARIANT address;
    ::VariantInit(&address);
    address.vt = VT_BSTR;
    address.bstrVal = ::SysAllocString(GamePageAddress().c_str());
    m_pWebBrowser->Navigate2(&address, nullptr, nullptr, nullptr, nullptr);
    m_pWebBrowser->put_Silent(1);
    // The connection stays for the process's life; so do these two.
    if (SUCCEEDED(m_pWebBrowser->QueryInterface(IID_IConnectionPointContainer,
                                                reinterpret_cast<void**>(&m_pConnectionPointContainer))) &&
        m_pConnectionPointContainer &&
        SUCCEEDED(m_pConnectionPointContainer->FindConnectionPoint(DIID_DWebBrowserEvents2, &m_pConnectionPoint)) &&
        m_pConnectionPoint) {
        if (!m_pListener) m_pListener = new (std::nothrow) CWebBrwoser2EventListener(m_hwndParent, m_choice);
        if (m_pListener) m_pConnectionPoint->Advise(m_pListener, &m_dwCookie);
    }
    ::VariantClear(&address);
    m_pWebBrowser->Release();
    m_pWebBrowser = nullptr;
}

bool CMainDlg::OnCommand(WORD id, WORD code) {
    if (code != BN_CLICKED) return false;
    switch (id) {
        case IDC_BUTTON_1007:
            // The start window, and this dialog it owns, go to the taskbar.
            ::PostMessageW(m_hwndParent, WM_SYSCOMMAND, SC_MINIMIZE, 0);
            return true;
        case IDC_BUTTON_1008:
            // Exit: at once, with no clean-up, restart or question.
            RemoveKeyboardHook();
            ::TerminateProcess(::GetCurrentProcess(), 0);
            return true;
        case IDC_BUTTON_1006:
            // On to the game, at the start URL as it is.
            *m_choice.runMode = kRunModeGameWindow;
            ::PostMessageW(m_hwndParent, WM_DESTROY, 0, 0);
            return true;
        default:
            return false;
    }
}
