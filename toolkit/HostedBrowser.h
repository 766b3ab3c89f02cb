// A web browser control in a control-host window (ControlHost.h), with one
// event sink advised to its DWebBrowserEvents2. The game window and the start
// dialog each keep one; each brings its own host window and its own sink.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>

#include "toolkit/ComOwners.h"

class CHostedBrowser {
public:
    CHostedBrowser() = default;

    // Creates the control from creationText in host (CreateControlInHost).
    // When it is a web browser: advises sink to its events, navigates it to
    // a copy of address (null: an empty VARIANT) and makes it silent (no
    // dialog boxes of its own, such as script errors). Returns the creation's
    // result: S_OK when the control exists, whether or not it is a browser.
    HRESULT Host(HWND host, const wchar_t* creationText, IDispatch* sink, const VARIANT* address);
    // Undoes the advice and lets go of the browser (the host window keeps
    // the control until it goes). The window calls it when it is destroyed,
    // while COM is still initialised.
    void Disconnect();

    // The browser, or null when none is hosted.
    IWebBrowser2* get() const { return m_browser.get(); }

private:
    void Advise(IDispatch* sink);

    CComPtr<IWebBrowser2> m_browser;
    CComPtr<IConnectionPoint> m_events;
    DWORD m_dwCookie = 0;
};
