#include "app/ForwardRule.h"

namespace {
constexpr unsigned kFirstKeyboardMessage = 0x0100;  // WM_KEYDOWN
constexpr unsigned kLastKeyboardMessage = 0x0109;   // WM_UNICHAR
constexpr unsigned kFirstMouseMessage = 0x0200;     // WM_MOUSEMOVE
constexpr unsigned kLastMouseMessage = 0x020D;      // WM_XBUTTONDBLCLK
}  // namespace

bool IsKeyboardOrMouseMessage(unsigned message) {
    return (message >= kFirstKeyboardMessage && message <= kLastKeyboardMessage) ||
           (message >= kFirstMouseMessage && message <= kLastMouseMessage);
}

bool ShouldOfferToBrowser(unsigned message, bool targetIsGameWindowOrChild) {
    return targetIsGameWindowOrChild && IsKeyboardOrMouseMessage(message);
}
