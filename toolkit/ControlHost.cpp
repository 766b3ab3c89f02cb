#include "toolkit/ControlHost.h"

#include <exdisp.h>
#include <mshtml.h>
#include <oleidl.h>

#include <new>

#include "toolkit/ComOwners.h"
#include "toolkit/CreationText.h"
#include "toolkit/HostPlacement.h"
#include "toolkit/MessageLoop.h"  // WM_FORWARDMSG

namespace {

constexpr wchar_t kSiteProperty[] = L"Quillmoor.ControlSite";

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The container side of one hosted control: client site, in-place site and
// in-place frame in one reference-counted object. The host window holds one
// reference; the control holds its own while its client site is set.
class CControlSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    CControlSite(HWND window, WNDPROC previous) : m_hWnd(window), m_previous(previous) {}

    HRESULT CreateControl(const wchar_t* text);
    HRESULT QueryControl(REFIID iid, void** object) {
        if (!object) return E_POINTER;
        *object = nullptr;
        return m_control ? m_control->QueryInterface(iid, object) : E_NOINTERFACE;
    }
    template <typename Interface>
    HRESULT QueryControl(REFIID iid, CComPtr<Interface>& object) {
        return QueryControl(iid, object.put_void());
    }
    // Offers a message to the control's accelerator translation; true when consumed.
    bool ForwardMessage(MSG* message) {
        return message && m_active && m_active->TranslateAccelerator(message) == S_OK;
    }
    // The control fills the host's client area.
    void Resize() {
        CComPtr<IOleInPlaceObject> inPlace;
        if (FAILED(QueryControl(IID_IOleInPlaceObject, inPlace))) return;
        const RECT client = GiveClientRect();
        inPlace->SetObjectRects(&client, &client);
    }
    // Lets the control go: in-place deactivation, close, no client site.
    void Teardown() {
        m_active.reset();
        if (!m_control) return;
        {
            CComPtr<IOleInPlaceObject> inPlace;
            if (SUCCEEDED(QueryControl(IID_IOleInPlaceObject, inPlace))) inPlace->InPlaceDeactivate();
        }
        m_control->Close(OLECLOSE_NOSAVE);
        m_control->SetClientSite(nullptr);
        m_control.reset();
    }
    WNDPROC Previous() const { return m_previous; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
            *object = static_cast<IOleClientSite*>(this);
        } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
            *object = static_cast<IOleInPlaceSite*>(this);
        } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
            *object = static_cast<IOleInPlaceFrame*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker) *moniker = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** container) override {
        if (container) *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (shared by the in-place site and the frame)
    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = m_hWnd;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        if (!frame || !document || !position || !clip || !info) return E_POINTER;
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *document = nullptr;
        *position = GiveClientRect();
        *clip = *position;
        info->fMDIApp = FALSE;
        info->hwndFrame = ::GetAncestor(m_hWnd, GA_ROOT);
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    // The host moves itself; its WM_SIZE then gives the control its rectangles.
    STDMETHODIMP OnPosRectChange(LPCRECT asked) override {
        if (!asked) return E_POINTER;
        MoveForRequest(*asked);
        return S_OK;
    }

    // IOleInPlaceUIWindow and IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) override {
        if (active) active->AddRef();
        m_active.reset(active);
        return S_OK;
    }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    ~CControlSite() = default;
    HRESULT Activate();
    RECT GiveClientRect();
    void MoveForRequest(const RECT& asked);
    HRESULT WriteInlineHtml(const wchar_t* html);

    HWND m_hWnd;
    WNDPROC m_previous;
    ULONG m_refs = 1;
    RECT m_rcGiven{};  // the position rectangle the control has from us
    CComPtr<IOleObject> m_control;
    CComPtr<IOleInPlaceActiveObject> m_active;
};

// Client site first when the control asks for it, then in-place activation
// in the host window.
HRESULT CControlSite::Activate() {
    DWORD status = 0;
    m_control->GetMiscStatus(DVASPECT_CONTENT, &status);
    const bool siteFirst = (status & OLEMISC_SETCLIENTSITEFIRST) != 0;
    if (siteFirst) m_control->SetClientSite(this);
    {
        CComPtr<IPersistStreamInit> persist;
        if (SUCCEEDED(QueryControl(IID_IPersistStreamInit, persist))) persist->InitNew();
    }
    if (!siteFirst) m_control->SetClientSite(this);
    const RECT client = GiveClientRect();
    const HRESULT activated = m_control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, m_hWnd, &client);
    if (!m_active) QueryControl(IID_IOleInPlaceActiveObject, m_active);
    return activated;
}

// The host's client area, remembered as what the control was last given:
// a control that asks to move builds its request from it.
RECT CControlSite::GiveClientRect() {
    ::GetClientRect(m_hWnd, &m_rcGiven);
    return m_rcGiven;
}

HostRect Edges(const RECT& rc) { return {rc.left, rc.top, rc.right, rc.bottom}; }

// A web browser asks for its new width and height one at a time, each in the
// rectangle it was last given with one edge changed. Moving the window to
// the whole request would take the host's scroll bar off the other
// dimension: after the width, the height's request carries the client
// width, 17 pixels short of the width just asked for.
void CControlSite::MoveForRequest(const RECT& asked) {
    // A child moves in its parent's client coordinates, any other window on
    // the screen.
    const bool child = (::GetWindowLongW(m_hWnd, GWL_STYLE) & WS_CHILD) != 0;
    const HWND parent = child ? ::GetParent(m_hWnd) : nullptr;
    RECT window{};
    ::GetWindowRect(m_hWnd, &window);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&window), 2);
    POINT origin{0, 0};
    ::MapWindowPoints(m_hWnd, parent, &origin, 1);
    const HostRect now = Edges(window);
    const HostRect placed = HostRectForRequest(Edges(asked), Edges(m_rcGiven), now, origin.x, origin.y);
    if (placed == now) return;
    ::MoveWindow(m_hWnd, placed.left, placed.top, placed.right - placed.left, placed.bottom - placed.top, TRUE);
}

HRESULT CControlSite::WriteInlineHtml(const wchar_t* html) {
    CComPtr<IWebBrowser2> browser;
    HRESULT result = QueryControl(IID_IWebBrowser2, browser);
    if (FAILED(result)) return result;
    CComPtr<IDispatch> document;
    result = browser->get_Document(document.put());
    if (FAILED(result) || !document) return FAILED(result) ? result : E_FAIL;
    CComPtr<IHTMLDocument2> html2;
    result = document.QueryInterface(IID_IHTMLDocument2, html2);
    if (FAILED(result)) return result;
    const CSafeArray lines(::SafeArrayCreateVector(VT_VARIANT, 0, 1));
    if (!lines) return E_OUTOFMEMORY;
    VARIANT* line = nullptr;
    ::SafeArrayAccessData(lines.get(), reinterpret_cast<void**>(&line));
    line->vt = VT_BSTR;
    line->bstrVal = ::SysAllocString(html);  // the array frees it with itself
    ::SafeArrayUnaccessData(lines.get());
    result = html2->write(lines.get());
    html2->close();
    return result;
}

HRESULT CControlSite::CreateControl(const wchar_t* text) {
    if (!text) return E_INVALIDARG;
    if (m_control) return E_UNEXPECTED;  // one control per host
    const CreationKind kind = ClassifyCreationText(text);
    CLSID clsid = CLSID_WebBrowser;
    if (kind == CreationKind::kClassName) {
        HRESULT found = ::CLSIDFromProgID(text, &clsid);
        if (FAILED(found)) found = ::CLSIDFromString(text, &clsid);
        if (FAILED(found)) return found;
    }
    HRESULT result = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, m_control.put_void());
    if (FAILED(result)) return result;
    result = Activate();
    if (FAILED(result) || kind == CreationKind::kClassName) return result;

    CComPtr<IWebBrowser2> browser;
    result = QueryControl(IID_IWebBrowser2, browser);
    if (FAILED(result)) return result;
    browser->put_Visible(VARIANT_TRUE);
    const CBstr url(::SysAllocString(kind == CreationKind::kAddress ? text : L"about:blank"));
    CVariant empty;
    result = browser->Navigate(url.get(), empty.get(), empty.get(), empty.get(), empty.get());
    if (FAILED(result) || kind == CreationKind::kAddress) return result;
    return WriteInlineHtml(text + 7);  // behind "MSHTML:"
}

CControlSite* SiteOf(HWND window) { return static_cast<CControlSite*>(::GetPropW(window, kSiteProperty)); }

// Gives window a site, subclassing it unless it is already one of ours.
CControlSite* AttachSite(HWND window) {
    if (CControlSite* site = SiteOf(window)) return site;
    const auto current = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC));
    auto* site = new (std::nothrow) CControlSite(window, current == HostWindowProc ? ::DefWindowProcW : current);
    if (!site) return nullptr;
    ::SetPropW(window, kSiteProperty, site);
    if (current != HostWindowProc) {
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HostWindowProc));
    }
    return site;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CControlSite* site = SiteOf(window);
    if (!site) {
        if (message == WM_NCCREATE) site = AttachSite(window);
        if (!site) return ::DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_FORWARDMSG:
            return site->ForwardMessage(reinterpret_cast<MSG*>(lParam)) ? 1 : 0;
        case WM_SIZE:
            site->Resize();
            break;
        case WM_DESTROY:
            site->Teardown();
            break;
        case WM_NCDESTROY: {
            const WNDPROC previous = site->Previous();
            ::RemovePropW(window, kSiteProperty);
            ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
            site->Release();
            return ::CallWindowProcW(previous, window, message, wParam, lParam);
        }
        default:
            break;
    }
    return ::CallWindowProcW(site->Previous(), window, message, wParam, lParam);
}

}  // namespace

bool RegisterControlHostClass() {
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(module, kControlHostClass, &existing)) return true;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = module;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kControlHostClass;
    return ::RegisterClassExW(&windowClass) != 0;
}

HRESULT CreateControlInHost(HWND host, const wchar_t* creationText) {
    if (!host || !::IsWindow(host)) return E_INVALIDARG;
    CControlSite* site = AttachSite(host);
    if (!site) return E_OUTOFMEMORY;
    return site->CreateControl(creationText);
}

HRESULT QueryHostedControl(HWND host, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    CControlSite* site = host ? SiteOf(host) : nullptr;
    return site ? site->QueryControl(iid, object) : E_NOINTERFACE;
}
