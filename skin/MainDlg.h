// CMainDlg: the start dialog inside the start window. A popup laid exactly
// over the start window whose background is a colour key, so only its
// browser (the start page) and its bitmap buttons show. When the start page
// navigates to an address holding "client=1", that address becomes the
// game's start URL and the start window is told to end.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>

#include "app/RunMode.h"
#include "skin/MyButton.h"
#include "skin/StandardDialog.h"
#include "toolkit/DialogBase.h"

// Where the start dialog's choice goes: the application object's start URL
// and run mode.
struct StartChoice {
    VARIANT* startUrl;
    RunMode* runMode;
};

// The start dialog's background colour, which the layered window makes
// transparent for sight and mouse.
class CColorKey {
public:
    ~CColorKey();
    // Makes window layered with the key as its transparent colour;
    // SetLayeredWindowAttributes is looked up at run time.
    void ApplyColorKey(HWND window);

    COLORREF m_crKey = RGB(0, 255, 0);
    HBRUSH m_hBrush = nullptr;
};

// The start page's event sink. It counts no references and lives until the
// process ends.
class CWebBrwoser2EventListener final : public IDispatch {
public:
    CWebBrwoser2EventListener(HWND target, StartChoice choice) : m_hwndTarget(target), m_choice(choice) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    // BeforeNavigate2 and DocumentComplete; every event answers S_OK.
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

    // A navigation whose address holds "client=1" after its first character
    // ends the start phase at that address.
    void OnBeforeNavigate(IDispatch* browser, const wchar_t* address);
    void OnDocumentComplete(IDispatch* browser, const wchar_t* address);

    HWND m_hwndTarget;

private:
    StartChoice m_choice;
};

class CMainDlg : public CDialogBase, public IStandardDialog {
public:
    CMainDlg(HWND parent, StartChoice choice);
    ~CMainDlg() override;

    int CreateAndShow() override;
    HWND GetHwnd() override { return m_hWnd; }
    bool DestroyDialog() override { return ::DestroyWindow(m_hWnd) != FALSE; }
    void DeleteDialog() override { delete this; }

    // The sink advised to the start page's browser, or null.
    CWebBrwoser2EventListener* GetListener() const { return m_pListener; }

protected:
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void OnInitDialog();
    void SetUpBrowser();
    bool OnCommand(WORD id, WORD code);

    CColorKey m_colorKey;
    HWND m_hwndParent;
    HWND m_wndBrowser = nullptr;
    IWebBrowser2* m_pWebBrowser = nullptr;  // during the set-up only
    MyButton m_buttons[7];
    IConnectionPointContainer* m_pConnectionPointContainer = nullptr;
    IConnectionPoint* m_pConnectionPoint = nullptr;
    DWORD m_dwCookie = 0;
    CWebBrwoser2EventListener* m_pListener = nullptr;
    StartChoice m_choice;
};
