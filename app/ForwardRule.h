// Which messages the game-window loop offers to the browser first.
// No Windows header.
#pragma once

// Keyboard messages run from 0x0100 to 0x0109, mouse messages from 0x0200 to
// 0x020D, both inclusive.
bool IsKeyboardOrMouseMessage(unsigned message);

// The loop offers a message to the browser host (as WM_FORWARDMSG) when it is
// keyboard or mouse input aimed at the game window or one of its descendants.
// Input for any other window, such as a message box, goes the ordinary way.
bool ShouldOfferToBrowser(unsigned message, bool targetIsGameWindowOrChild);
