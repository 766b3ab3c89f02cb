// Browser events as the web browser control sends them to a sink (the
// arguments stand last first), and a look at who is advised to them.
// Header only.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <oaidl.h>
#include <ocidl.h>

#include "toolkit/ComOwners.h"

// BeforeNavigate2 (browser, address, flags, target frame, post data,
// headers, cancel); cancel starts out true.
struct CBeforeNavigateEvent {
    CVariant address;
    VARIANT_BOOL cancel = VARIANT_TRUE;
    VARIANT args[7]{};

    CBeforeNavigateEvent(IDispatch* browser, const wchar_t* url) {
        address.SetText(url);
        args[6].vt = VT_DISPATCH;
        args[6].pdispVal = browser;
        args[5].vt = VT_BYREF | VT_VARIANT;
        args[5].pvarVal = address.get();
        args[0].vt = VT_BYREF | VT_BOOL;
        args[0].pboolVal = &cancel;
    }

    // Sent under another dispatch id, the same arguments make another event.
    HRESULT SendTo(IDispatch* sink, DISPID id = DISPID_BEFORENAVIGATE2) {
        DISPPARAMS params{args, nullptr, 7, 0};
        return sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }
};

// DocumentComplete (frame, address by reference).
inline HRESULT SendDocumentComplete(IDispatch* sink, IDispatch* frame, const wchar_t* address) {
    CVariant url;
    url.SetText(address);
    VARIANT args[2];
    args[0].vt = VT_BYREF | VT_VARIANT;
    args[0].pvarVal = url.get();
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = frame;
    DISPPARAMS params{args, nullptr, 2, 0};
    return sink->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

// Whether sink is among the sinks advised to browser's DWebBrowserEvents2.
inline bool IsAdvised(IWebBrowser2* browser, const IDispatch* sink) {
    CComPtr<IConnectionPointContainer> container;
    CComPtr<IConnectionPoint> point;
    CComPtr<IEnumConnections> connections;
    if (!browser || FAILED(browser->QueryInterface(IID_IConnectionPointContainer, container.put_void())) ||
        FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put())) ||
        FAILED(point->EnumConnections(connections.put()))) {
        return false;
    }
    bool found = false;
    CONNECTDATA data{};
    while (connections->Next(1, &data, nullptr) == S_OK) {
        const CComPtr<IUnknown> advised(data.pUnk);
        found = found || advised.get() == static_cast<const IUnknown*>(sink);
    }
    return found;
}
