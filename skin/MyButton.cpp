#include "skin/MyButton.h"

#include <commctrl.h>

#include "toolkit/GdiOwners.h"
#include "toolkit/Reflection.h"

bool MyButton::Attach(HWND button, uint16_t normal, uint16_t hover, uint16_t pressed, uint16_t disabled) {
    if (!button) return false;
    m_bHover = 0;
    m_bPressed = 0;
    SubclassWindow(button);
    m_normal.LoadFromResource(normal);
    m_hover.LoadFromResource(hover);
    m_pressed.LoadFromResource(pressed);
    m_disabled.LoadFromResource(disabled);
    return true;
}

bool MyButton::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_ERASEBKGND:
            result = 1;  // the picture covers the whole client area
            return true;
        case WM_MOUSEMOVE: {
            if (m_bHover) return false;
            m_bHover = 1;
            Repaint();
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
#ifndef _WIN64
            static_assert(sizeof track == 16);
#endif
            result = ::_TrackMouseEvent(&track);
            return true;
        }
        case WM_LBUTTONDOWN:
            ::SetCapture(window);
            m_bPressed = 1;
            Repaint();
            return false;  // the button's own click logic runs too
        case WM_LBUTTONUP:
            m_bPressed = 0;
            Repaint();
            return false;  // the button releases the capture and reports BN_CLICKED
        case WM_MOUSELEAVE:
            if (m_bHover == 1) {
                m_bHover = 0;
                Repaint();
            }
            return false;
        default:
            if (ProcessOwnerDraw(message, lParam, result)) return true;
            return DefaultReflectionHandler(window, message, wParam, lParam, result);
    }
}

void MyButton::Repaint() {
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    ::UpdateWindow(m_hWnd);
}

const CSkinPicture& MyButton::PictureFor(ButtonPicture choice) const {
    switch (choice) {
        case ButtonPicture::kDisabled: return m_disabled;
        case ButtonPicture::kPressed: return m_pressed;
        case ButtonPicture::kHover: return m_hover;
        case ButtonPicture::kNormal: break;
    }
    return m_normal;
}

void MyButton::DrawItem(const DRAWITEMSTRUCT*) {
    m_lastDrawn = ChooseButtonPicture(::IsWindowEnabled(m_hWnd) != FALSE, m_bPressed == 1, m_bHover == 1);
    const CWindowDC window(m_hWnd);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    // Stretched to the control, never blended: transparent pixels show black.
    PictureFor(m_lastDrawn).StretchTo(window.get(), client.right, client.bottom);
}
