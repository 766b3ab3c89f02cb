#include "skin/LayeredSkin.h"

#include "skin/SkinPlacement.h"
#include "toolkit/GdiOwners.h"

void CLayeredSkin::AttachDialog(IStandardDialog* dialog, HWND window, int32_t x, int32_t y) {
    m_pDialog.reset(dialog);
    const int32_t width = m_image.GetWidth();
    const int32_t height = m_image.GetHeight();
    if (m_bCenter) {
        RECT work{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        const SkinPoint origin = CentreOnWorkArea(work.left, work.top, work.right, work.bottom, width, height);
        x = origin.x;
        y = origin.y;
    }
    if (m_pDialog) m_pDialog->CreateAndShow();
    // The system gave the top-level template a caption: take it away.
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE));
    ::SetWindowLongW(window, GWL_STYLE, static_cast<LONG>((style ^ WS_CAPTION) | WS_POPUP));
    // The move and size messages bring the dialog along.
    ::MoveWindow(window, x, y, width, height, TRUE);
}

void CLayeredSkin::ApplyToWindow(HWND window) {
    m_blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::SetWindowLongW(window, GWL_EXSTYLE, ::GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
    const HBITMAP picture = m_image.GetHandle();

    const CWindowDC screen(nullptr);
    const CMemoryDC memory(screen.get());
    const CSelectObject selected(memory.get(), picture);
    BITMAP info{};
    if (picture) ::GetObjectW(picture, sizeof info, &info);
    RECT placed{};
    ::GetWindowRect(window, &placed);
    POINT destination{placed.left, placed.top};
    SIZE size{info.bmWidth, info.bmHeight};
    POINT source{0, 0};
    ::UpdateLayeredWindow(window, screen.get(), &destination, &size, memory.get(), &source, 0, &m_blend, ULW_ALPHA);
}

void CLayeredSkin::FollowMove(int32_t x, int32_t y) {
    if (!m_pDialog) return;
    ::SetWindowPos(m_pDialog->GetHwnd(), nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
}

void CLayeredSkin::FollowSize(int32_t width, int32_t height) {
    if (!m_pDialog) return;
    ::SetWindowPos(m_pDialog->GetHwnd(), nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE);
}
