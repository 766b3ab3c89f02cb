// A dialog from a template, modal or modeless, whose message map returns the
// message's result and whether it handled it. Unhandled messages get the
// dialog manager's default processing.
#pragma once

#include <windows.h>

#include "toolkit/MessageMap.h"

class CDialogBase : public CMessageMap {
public:
    virtual ~CDialogBase() = default;
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // Runs the dialog modally; the value given to EndDialog, or -1 when it
    // could not be created. initParam reaches WM_INITDIALOG as lParam.
    INT_PTR DoModal(HWND owner = nullptr, LPARAM initParam = 0);
    // Creates the dialog modeless; its window, or null.
    HWND Create(HWND owner = nullptr, LPARAM initParam = 0);
    // Ends a modal run with result.
    bool EndDialog(INT_PTR result);
    // Centres the window over its visible owner, else on the work area of the
    // nearest monitor, keeping it inside that work area.
    bool CenterWindow();

    HWND m_hWnd = nullptr;

protected:
    // module: where the template lives (null: this executable).
    explicit CDialogBase(WORD templateId, HINSTANCE module = nullptr) : m_templateId(templateId), m_module(module) {}

    // The base map: WM_INITDIALOG goes to OnInitDialog, WM_COMMAND to
    // OnCommand, and every child notification they leave is reflected to the
    // control it concerns (Reflection.h). A dialog's own map handles its
    // other messages and ends with this one.
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    // WM_INITDIALOG; the message's result (nonzero: the system gives the
    // first control the focus).
    virtual LRESULT OnInitDialog() { return TRUE; }
    // WM_COMMAND from control or menu item id with notification code; true
    // when handled (result 0), false to leave it to the reflection.
    virtual bool OnCommand(WORD /*id*/, WORD /*code*/) { return false; }
    // Called after the window's last message (WM_NCDESTROY).
    virtual void OnFinalMessage(HWND) {}

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Runs create(module, template name) with this as the object that the
    // thread's next new dialog window belongs to.
    template <typename CreateFunction>
    auto CreateFromTemplate(CreateFunction create);

    WORD m_templateId;
    HINSTANCE m_module;
};
