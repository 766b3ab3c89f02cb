#include "skin/TranslucentDlg.h"

#include <new>

#include "app/GameLoop.h"
#include "app/Globals.h"
#include "res/resource.h"
#include "skin/KeyboardHook.h"
#include "skin/MainDlg.h"
#include "toolkit/WindowIcons.h"

namespace {

constexpr uint16_t kStartPicture = 271;

}  // namespace

CTranslucentDlg::CTranslucentDlg() : CDialogBase(IDD_START_WINDOW), m_dlgGame(g_Module) {
    m_skin.m_image.LoadFromResource(kStartPicture);
}

void CTranslucentDlg::RunStartWindowModal() { DoModal(::GetActiveWindow(), 0); }

void CTranslucentDlg::RunGameWindow() {
    m_nRunMode = kRunModeGameWindow;
    // A window whose browser could not be created has told the player and
    // is gone: the process ends instead of pumping for no window.
    if (!m_dlgGame.CreateGameWindow(m_varStartUrl.get())) return;
    // The window's exit command ends the loop with WM_QUIT.
    RunGameWindowLoop(m_dlgGame);
}

bool CTranslucentDlg::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
        case WM_LBUTTONDOWN:
            // Any visible point of the picture drags the window.
            ::PostMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
            return true;
        case WM_MOVE:
            m_skin.FollowMove(static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam)));
            return true;
        case WM_SIZE:
            m_skin.FollowSize(static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam)));
            return true;
        case WM_DESTROY:
            // Posted by the start dialog to go on, then sent again by the real
            // destruction; the second time changes nothing.
            m_nRunMode = kRunModeGameWindow;
            RemoveKeyboardHook();
            ::EndDialog(m_hWnd, 1);
            return true;
        default:
            return CDialogBase::ProcessWindowMessage(window, message, wParam, lParam, result);
    }
}

LRESULT CTranslucentDlg::OnInitDialog() {
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    // The picture goes on before the start dialog exists. Wine gives a
    // window a new X window, stacked over every other, when it first gets a
    // per-pixel alpha picture: after the dialog, that would hide the dialog
    // until a hide and show, and under Xvfb the show waits two seconds for
    // a window manager. The move that follows keeps the picture.
    m_skin.ApplyToWindow(m_hWnd);
    CMainDlg* dialog = new (std::nothrow) CMainDlg(m_hWnd, {&m_varStartUrl, &m_nRunMode});
    m_skin.AttachDialog(dialog, m_hWnd, client.left, client.top);
    SetWindowIcons(m_hWnd, IDI_QUILLMOOR);
    ::SetWindowTextW(m_hWnd, L"Orlenmark");
    InstallKeyboardHook();
    return TRUE;
}
