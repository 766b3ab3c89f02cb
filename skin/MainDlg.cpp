#include "skin/MainDlg.h"

#include <exdispid.h>

#include <cstdint>
#include <cwchar>
#include <iterator>

#include "common/GamePage.h"
#include "res/resource.h"
#include "skin/KeyboardHook.h"
#include "toolkit/WindowIcons.h"

namespace {

constexpr wchar_t kWindowText[] = L"Orlenmark";
constexpr wchar_t kStartWord[] = L"client=1";

// The buttons in the order they are attached, with their normal, hover,
// pressed and disabled pictures. Only exit, minimise and go-on are in the
// template; the links find no control and are skipped.
struct ButtonPictures {
    StartDialogButton button;
    uint16_t normal, hover, pressed, disabled;
};
constexpr ButtonPictures kButtons[] = {
    {StartDialogButton::kExit, 292, 291, 290, 290},
    {StartDialogButton::kMinimise, 277, 276, 275, 275},
    {StartDialogButton::kGoOn, 272, 273, 274, 274},
    {StartDialogButton::kPageLinkWithAdapter, 289, 288, 287, 287},
    {StartDialogButton::kPageLink, 286, 285, 284, 284},
    {StartDialogButton::kThirdPageLink, 280, 279, 278, 278},
    {StartDialogButton::kSecondPageLink, 283, 282, 281, 281},
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
    CComPtr<IWebBrowser2> web;
    if (browser && SUCCEEDED(browser->QueryInterface(IID_IWebBrowser2, web.put_void())) && web) web->put_Silent(1);
}

void DebugLine(const wchar_t* text) {
    ::OutputDebugStringW(text ? text : L"");
    ::OutputDebugStringW(L"\n");
}

}  // namespace

void CColorKey::ApplyColorKey(HWND window) {
    if (!m_brush) m_brush.reset(::CreateSolidBrush(m_crKey));
    ::SetWindowLongW(window, GWL_EXSTYLE, ::GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
    using SetAttributes = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    const CLibrary user(::LoadLibraryW(L"User32.DLL"));
    if (!user) return;
    const auto set = reinterpret_cast<SetAttributes>(
        reinterpret_cast<void*>(::GetProcAddress(user.get(), "SetLayeredWindowAttributes")));
    if (set) set(window, m_crKey, 0, LWA_COLORKEY);
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
    if (!m_choice.startUrl->SetText(address)) return;
    *m_choice.runMode = kRunModeGameWindow;
    ::PostMessageW(m_hwndTarget, WM_DESTROY, 0, 0);
}

void CWebBrwoser2EventListener::OnDocumentComplete(IDispatch* browser, const wchar_t* address) {
    DebugLine(address);
    MakeSilent(browser);
}

CMainDlg::CMainDlg(HWND parent, StartChoice choice)
    : CDialogBase(IDD_MAIN_DIALOG), m_hwndParent(parent), m_listener(parent, choice), m_choice(choice) {}

int CMainDlg::CreateAndShow() {
    const HWND window = Create(m_hwndParent, IDD_MAIN_DIALOG);
    if (!window) return 0;
    ::ShowWindow(window, SW_SHOW);
    return 1;
}

bool CMainDlg::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_CTLCOLORDLG:
            // The background is the key colour, so it is not there at all.
            result = reinterpret_cast<LRESULT>(m_colorKey.GetBrush());
            return true;
        case WM_DESTROY:
            // The page's events end with the window, while COM is still up.
            m_browser.Disconnect();
            break;
        default:
            break;
    }
    return CDialogBase::ProcessWindowMessage(window, message, wParam, lParam, result);
}

LRESULT CMainDlg::OnInitDialog() {
    // Only for a moment: the start window gives the dialog its own place.
    CenterWindow();
    SetWindowIcons(m_hWnd, IDI_QUILLMOOR);
    SetUpBrowser();
    for (size_t i = 0; i < std::size(kButtons); ++i) {
        const ButtonPictures& b = kButtons[i];
        m_buttons[i].Attach(::GetDlgItem(m_hWnd, ControlId(b.button)), b.normal, b.hover, b.pressed, b.disabled);
    }
    ::SetWindowTextW(m_hWnd, kWindowText);
    m_colorKey.ApplyColorKey(GetHwnd());
    return TRUE;
}

void CMainDlg::SetUpBrowser() {
    // The placeholder control itself becomes the browser's host.
    m_wndBrowser = ::GetDlgItem(m_hWnd, IDC_BROWSER_PLACE);
    g_hBrowserHost = m_wndBrowser;
    CVariant address;
    address.SetText(GamePageAddress().c_str());
    m_browser.Host(m_wndBrowser, GameCreationText().c_str(), &m_listener, address.get());
}

bool CMainDlg::OnCommand(WORD id, WORD code) {
    if (code != BN_CLICKED) return false;
    switch (static_cast<StartDialogButton>(id)) {
        case StartDialogButton::kMinimise:
            // The start window, and this dialog it owns, go to the taskbar.
            ::PostMessageW(m_hwndParent, WM_SYSCOMMAND, SC_MINIMIZE, 0);
            return true;
        case StartDialogButton::kExit:
            // At once, with no clean-up, restart or question.
            RemoveKeyboardHook();
            ::TerminateProcess(::GetCurrentProcess(), 0);
            return true;
        case StartDialogButton::kGoOn:
            // On to the game, at the start URL as it is.
            *m_choice.runMode = kRunModeGameWindow;
            ::PostMessageW(m_hwndParent, WM_DESTROY, 0, 0);
            return true;
        case StartDialogButton::kPageLink:
        case StartDialogButton::kPageLinkWithAdapter:
        case StartDialogButton::kSecondPageLink:
        case StartDialogButton::kThirdPageLink:
            break;  // not in the template
    }
    return false;
}
