#include "game/GameDlg.h"

HWND CGameDlg::Create() {
    // PLACEHOLDER until the game window lands: with no window to show, the
    // game-window loop is ended at once, as a confirmed exit would end it.
    ::PostQuitMessage(1);
    return nullptr;
}
