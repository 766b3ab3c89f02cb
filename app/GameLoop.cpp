#include "app/GameLoop.h"

#include "app/ForwardRule.h"
#include "toolkit/MessageLoop.h"  // WM_FORWARDMSG

bool OfferToBrowser(const MSG& msg, HWND gameWindow, HWND browserHost) {
    if (!gameWindow || !browserHost) return false;
    const bool inGameWindow = msg.hwnd == gameWindow || ::IsChild(gameWindow, msg.hwnd);
    if (!ShouldOfferToBrowser(msg.message, inGameWindow)) return false;
    return ::SendMessageW(browserHost, WM_FORWARDMSG, 0, reinterpret_cast<LPARAM>(&msg)) != 0;
}
