// The ActiveX control host: window class "AtlAxWin90", and the creation of
// a control inside a host window from a creation text. A host window owns its
// control and releases it, and everything it handed out, when it goes. The
// control fills the host's client area; when it asks for another rectangle
// (a web browser's put_Width and put_Height), the host moves itself to it
// (HostPlacement.h) and the control follows.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "toolkit/ComOwners.h"

inline constexpr wchar_t kControlHostClass[] = L"AtlAxWin90";

// Registers the host window class for this module; true when it is there.
bool RegisterControlHostClass();

// Creates the control named by creationText in host: "MSHTML:" then HTML,
// an address (a web browser, shown and navigated to the whole text), or a
// class name. host is a window of the host class or any other window, which
// is then taken over by subclassing (the start dialog's placeholder). The
// thread must be in a COM apartment. S_OK when the control exists.
HRESULT CreateControlInHost(HWND host, const wchar_t* creationText);

// The hosted control's interface iid, with a reference for the caller.
// E_NOINTERFACE when host holds no control.
HRESULT QueryHostedControl(HWND host, REFIID iid, void** object);
template <typename Interface>
HRESULT QueryHostedControl(HWND host, REFIID iid, CComPtr<Interface>& object) {
    return QueryHostedControl(host, iid, object.put_void());
}
