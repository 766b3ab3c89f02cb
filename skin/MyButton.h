// MyButton: an owner-drawn push button of a dialog turned into a picture
// button with normal, hover, pressed and disabled pictures. It subclasses
// the existing control; clicks still reach the dialog as BN_CLICKED. The
// parent must reflect its notifications (OCM_DRAWITEM paints).
#pragma once

#include <windows.h>

#include <cstdint>

#include "skin/ButtonPicture.h"
#include "skin/SkinBitmap.h"
#include "toolkit/OwnerDraw.h"
#include "toolkit/SubclassedWindow.h"

class MyButton : public CSubclassedWindow, public COwnerDraw {
public:
    // Subclasses button and loads the four pictures. False, doing nothing,
    // when button is null (the template has no such control).
    bool Attach(HWND button, uint16_t normal, uint16_t hover, uint16_t pressed, uint16_t disabled);

    // Paints the picture of the current state, stretched over the client area.
    void DrawItem(const DRAWITEMSTRUCT* item) override;

    // The picture the last paint used (for tests and diagnostics).
    ButtonPicture LastDrawn() const { return m_lastDrawn; }

protected:
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    // Invalidates and paints at once, so a state change shows synchronously.
    void Repaint();
    const CSkinPicture& PictureFor(ButtonPicture choice) const;

    CSkinPicture m_normal;
    CSkinPicture m_hover;
    CSkinPicture m_pressed;
    CSkinPicture m_disabled;
    int32_t m_bHover = 0;
    int32_t m_bPressed = 0;
    ButtonPicture m_lastDrawn = ButtonPicture::kNormal;
};
