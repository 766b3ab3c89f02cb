#include "game/BrowserHost.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtml.h>

#include <cwchar>

#include "game/GameDlg.h"
#include "toolkit/ComOwners.h"
#include "toolkit/ControlHost.h"

namespace {

bool Contains(const wchar_t* text, const wchar_t* word) { return std::wcsstr(text, word) != nullptr; }

}  // namespace

STDMETHODIMP CInvokeEvent::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
    if (!params) return E_INVALIDARG;
    if (!m_pGameDlg) return S_OK;  // not attached to a window yet
    if (id == DISPID_TITLECHANGE) OnTitleChange(*params);
    if (id == DISPID_DOCUMENTCOMPLETE) OnDocumentComplete(*params);
    return S_OK;
}

void CInvokeEvent::OnTitleChange(const DISPPARAMS& params) {
    const wchar_t* title = L"";
    if (params.cArgs >= 1 && params.rgvarg && params.rgvarg[0].vt == VT_BSTR && params.rgvarg[0].bstrVal) {
        title = params.rgvarg[0].bstrVal;
    }
    // Drawn, then wiped at once: the title bar keeps no page title.
    m_pGameDlg->SetTitleText(title);
    m_pGameDlg->SetTitleText(L"");
}

void CInvokeEvent::OnDocumentComplete(const DISPPARAMS& params) {
    // The arguments arrive last first: the frame, then the address by reference.
    if (params.cArgs < 2 || !params.rgvarg) return;
    const VARIANT& frame = params.rgvarg[1];
    const VARIANT& address = params.rgvarg[0];
    IWebBrowser2* browser = m_pGameDlg->GetBrowser();
    if (!browser || frame.vt != VT_DISPATCH || frame.pdispVal != static_cast<IDispatch*>(browser)) return;
    if (address.vt != (VT_BYREF | VT_VARIANT) || !address.pvarVal) return;
    const VARIANT& url = *address.pvarVal;
    if (url.vt != VT_BSTR || !url.bstrVal) return;
    if (!Contains(url.bstrVal, L"openkey") || !Contains(url.bstrVal, L"openid")) return;

    CComPtr<IDispatch> document;
    CComPtr<IHTMLDocument2> html;
    CComPtr<IHTMLElement> body;
    CComPtr<IHTMLElement> element;
    if (SUCCEEDED(browser->get_Document(document.put())) && document &&
        SUCCEEDED(document.QueryInterface(IID_IHTMLDocument2, html)) && html &&
        SUCCEEDED(html->get_body(body.put())) && body &&
        SUCCEEDED(body.QueryInterface(IID_IHTMLElement, element)) && element) {
        const CBstr name(::SysAllocString(L"SCROLL"));
        CVariant value;
        value.SetText(L"no");
        element->setAttribute(name.get(), *value.get(), 0);
    }
    const HWND host = m_pGameDlg->GetBrowserHostWindow();
    ::SetWindowLongW(host, GWL_STYLE, ::GetWindowLongW(host, GWL_STYLE) & ~WS_VSCROLL);
}

bool CGameDlg::CreateBrowserHost() {
    RECT area{};
    ::GetClientRect(m_hWnd, &area);
    // The top 29 rows are the title bar; a 3-pixel border elsewhere.
    area.left += 3;
    area.top += 29;
    area.right -= 3;
    area.bottom -= 3;
    m_hWndBrowserHost = ::CreateWindowExW(0, kControlHostClass, nullptr, WS_CHILD | WS_VISIBLE | WS_VSCROLL, area.left,
                                          area.top, area.right - area.left, area.bottom - area.top, m_hWnd, nullptr,
                                          ::GetModuleHandleW(nullptr), nullptr);
    if (!m_hWndBrowserHost) return false;
    m_eventSink.m_pGameDlg = this;
    if (m_browser.Host(m_hWndBrowserHost, m_strCreationText.c_str(), &m_eventSink, m_pStartUrl) != S_OK) return false;
    ToggleWorkArea();
    return true;
}

void CGameDlg::RefreshBrowser() {
    if (IWebBrowser2* browser = m_browser.get()) browser->Refresh();
}
