#include "skin/TranslucentDlg.h"

#include "app/Globals.h"

CTranslucentDlg::CTranslucentDlg() : m_dlgGame(g_Module) {
    ::VariantInit(&m_varStartUrl);
}

CTranslucentDlg::~CTranslucentDlg() {
    ::VariantClear(&m_varStartUrl);
}

void CTranslucentDlg::RunStartWindowModal() {
    // PLACEHOLDER until the start window lands: it goes at once, and its
    // destruction leads on to the game window.
    m_nRunMode = kRunModeGameWindow;
}
