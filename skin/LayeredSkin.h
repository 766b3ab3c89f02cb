// CLayeredSkin: the start window's look and its inner dialog. The window
// shows one picture with per-pixel alpha through UpdateLayeredWindow; the
// controls live in the inner dialog laid exactly over it, which follows the
// window's moves and sizes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "skin/SkinBitmap.h"
#include "skin/StandardDialog.h"

class CLayeredSkin {
public:
    CLayeredSkin() = default;
    CLayeredSkin(const CLayeredSkin&) = delete;
    CLayeredSkin& operator=(const CLayeredSkin&) = delete;

    // Takes the dialog (owned from now on, may be null), creates and shows
    // it, turns window into a captionless popup and gives it the picture's
    // size, centred on the work area (x, y count only without centring).
    void AttachDialog(IStandardDialog* dialog, HWND window, int32_t x, int32_t y);
    // Makes window layered and puts the picture on the screen, alpha included.
    void ApplyToWindow(HWND window);
    // Keep the dialog over the window; nothing without a dialog.
    void FollowMove(int32_t x, int32_t y);
    void FollowSize(int32_t width, int32_t height);

    BLENDFUNCTION m_blend{};
    CSkinBitmap m_image;
    uint8_t m_bCenter = 1;
    // Deleted through its DeleteDialog when the skin goes.
    std::unique_ptr<IStandardDialog, StandardDialogDeleter> m_pDialog;
};
