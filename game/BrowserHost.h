// The sink that receives the game window's browser events.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include "toolkit/EventSink.h"

class CGameDlg;

// The browser's event sink (DWebBrowserEvents2 through IDispatch). It lives
// inside the game window and counts no references.
class CInvokeEvent final : public CEventSink {
public:
    CInvokeEvent() : CEventSink(DIID_DWebBrowserEvents2) {}

    CGameDlg* m_pGameDlg = nullptr;

    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 0; }
    // Title changes are drawn into the title bar and wiped at once; a
    // completed top-level game document loses its scroll bars.
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

private:
    void OnTitleChange(const DISPPARAMS& params);
    void OnDocumentComplete(const DISPPARAMS& params);
};
