// CMainDlg: the start dialog inside the start window. A popup laid exactly
// over the start window whose background is a colour key, so only its
// browser (the start page) and its bitmap buttons show. When the start page
// navigates to an address holding "client=1", that address becomes the
// game's start URL and the start window is told to end.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include "app/RunMode.h"
#include "skin/MyButton.h"
#include "skin/StandardDialog.h"
#include "toolkit/ComOwners.h"
#include "toolkit/DialogBase.h"
#include "toolkit/EventSink.h"
#include "toolkit/GdiOwners.h"
#include "toolkit/HostedBrowser.h"

// Where the start dialog's choice goes: the application object's start URL
// and run mode.
struct StartChoice {
    CVariant* startUrl;
    RunMode* runMode;
};

// The start dialog's background colour, which the layered window makes
// transparent for sight and mouse.
class CColorKey {
public:
    // Makes window layered with the key as its transparent colour;
    // SetLayeredWindowAttributes is looked up at run time.
    void ApplyColorKey(HWND window);
    // The brush of the key colour, made by ApplyColorKey; null before.
    HBRUSH GetBrush() const { return m_brush.get(); }

    COLORREF m_crKey = RGB(0, 255, 0);

private:
    CBrush m_brush;
};

// The start page's event sink. It counts no references and lives as long as
// the start dialog object.
class CWebBrwoser2EventListener final : public CEventSink {
public:
    CWebBrwoser2EventListener(HWND target, StartChoice choice)
        : CEventSink(DIID_DWebBrowserEvents2), m_hwndTarget(target), m_choice(choice) {}

    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
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
    ~CMainDlg() override = default;

    int CreateAndShow() override;
    HWND GetHwnd() override { return m_hWnd; }
    bool DestroyDialog() override { return ::DestroyWindow(m_hWnd) != FALSE; }
    void DeleteDialog() override { delete this; }

    // The sink for the start page's browser events.
    CWebBrwoser2EventListener* GetListener() { return &m_listener; }
    // The start page's browser while the window exists, or null.
    IWebBrowser2* GetBrowser() const { return m_browser.get(); }

protected:
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    LRESULT OnInitDialog() override;
    bool OnCommand(WORD id, WORD code) override;

private:
    void SetUpBrowser();

    CColorKey m_colorKey;
    HWND m_hwndParent;
    HWND m_wndBrowser = nullptr;
    MyButton m_buttons[7];
    CWebBrwoser2EventListener m_listener;
    CHostedBrowser m_browser;  // advised to m_listener until the window goes
    StartChoice m_choice;
};
