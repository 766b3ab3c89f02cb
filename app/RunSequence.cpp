// The application object's run sequence and the restart after an update.
#include "app/GameLoop.h"
#include "app/Globals.h"
#include "skin/KeyboardHook.h"

void CTranslucentDlg::RunApplication(bool relaunched) {
    CleanupAndCheckUpdate(relaunched);
    // The server runs in every mode, also before a restart.
    g_HttpServer->StartServer();

    if (m_nRunMode == kRunModeStartWindow) {
        CScopedMessageLoop loop(g_Module);
        RunStartWindowModal();
    }
    if (m_nRunMode == kRunModeGameWindow) {
        CScopedMessageLoop loop(g_Module);
        RunGameWindow();
    }
    RestartIfUpdated();
}

void CTranslucentDlg::RunGameWindow() {
    m_nRunMode = kRunModeGameWindow;
    // The window's exit command ends the loop below with WM_QUIT.
    m_dlgGame.Create();
    RunGameWindowLoop(m_dlgGame);
}

void CTranslucentDlg::RestartIfUpdated() {
    if (g_hKeyboardHook) ::UnhookWindowsHookEx(g_hKeyboardHook);
    if (m_nRunMode != kRunModeRestart) return;
    // PLACEHOLDER until the self-update lands: run mode 3 is never set yet,
    // so there is no installed build to start.
}
