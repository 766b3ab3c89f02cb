// The game window's message pump.
#pragma once

#include <windows.h>

// Offers keyboard and mouse input aimed at gameWindow or its descendants to
// browserHost as WM_FORWARDMSG; true when the browser consumed it. Other
// messages, and any message while there is no browser host, are not offered.
bool OfferToBrowser(const MSG& msg, HWND gameWindow, HWND browserHost);

// Pumps the thread's messages until WM_QUIT (or a GetMessageW failure) and
// returns the WM_QUIT code, or -1. Each message is first offered to the
// browser; what it consumes is neither translated nor dispatched. The game
// window and its browser host are read anew for every message, since both
// come and go while the loop runs. No message filter or idle handler is
// consulted. GameWindow provides GetHwnd() and GetBrowserHostWindow().
template <typename GameWindow>
int RunGameWindowLoop(const GameWindow& game) {
    MSG msg{};
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) return -1;
        if (got == 0) return static_cast<int>(msg.wParam);
        if (OfferToBrowser(msg, game.GetHwnd(), game.GetBrowserHostWindow())) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}
