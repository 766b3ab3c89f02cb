// The sink that receives the game window's browser events.
#pragma once

#include <windows.h>
#include <oaidl.h>

class CGameDlg;

// The browser's event sink (DWebBrowserEvents2 through IDispatch). It lives
// inside the game window and counts no references.
class CInvokeEvent final : public IDispatch {
public:
    CGameDlg* m_pGameDlg = nullptr;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 0; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    // Title changes are drawn into the title bar and wiped at once; a
    // completed top-level game document loses its scroll bars.
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

private:
    void OnTitleChange(const DISPPARAMS& params);
    void OnDocumentComplete(const DISPPARAMS& params);
};
