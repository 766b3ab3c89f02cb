// skin_gallery: every bitmap button of the skin in its normal, hover and
// pressed state, with the title strip and the emblem, as MyButton paints
// them. tools/art/screenshot runs it under Wine and takes a picture.
#include <windows.h>

#include <memory>
#include <vector>

#include "skin/MyButton.h"
#include "skin/SkinBitmap.h"
#include "toolkit/Reflection.h"

namespace {

struct ButtonSpec {
    uint16_t normal, hover, pressed;
    int width, height;
};

// Game window: close, minimise, maximise, restore, hide, menu; start dialog:
// enter, minimise, exit, a link.
const ButtonSpec kButtons[] = {
    {295, 294, 293, 34, 25}, {314, 313, 312, 30, 25}, {305, 304, 303, 30, 25}, {308, 307, 306, 30, 25},
    {300, 299, 298, 30, 25}, {311, 310, 309, 30, 25}, {272, 273, 274, 205, 101}, {277, 276, 275, 35, 35},
    {292, 291, 290, 40, 40}, {286, 285, 284, 135, 29},
};

CSkinPicture g_strip, g_emblem;

LRESULT CALLBACK GalleryProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (message != WM_COMMAND && ReflectNotifications(window, message, wParam, lParam, result)) return result;
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        const HDC dc = ::BeginPaint(window, &paint);
        RECT client;
        ::GetClientRect(window, &client);
        ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        g_strip.StretchTo(dc, client.right, 31);
        g_emblem.StretchTo(dc, g_emblem.GetWidth(), g_emblem.GetHeight());
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(255, 255, 0));
        ::TextOutW(dc, 80, 8, L"Orlenmark", 9);
        ::EndPaint(window, &paint);
        return 0;
    }
    if (message == WM_DESTROY) ::PostQuitMessage(0);
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = GalleryProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = L"SkinGallery";
    ::RegisterClassW(&windowClass);
    const HWND window = ::CreateWindowExW(0, L"SkinGallery", L"Quillmoor skin", WS_POPUP | WS_VISIBLE, 0, 0, 900, 440,
                                          nullptr, nullptr, instance, nullptr);
    g_strip.LoadFromResource(297);
    g_emblem.LoadFromResource(301);

    std::vector<std::unique_ptr<MyButton>> buttons;
    for (int row = 0; row < 3; ++row) {
        int x = 10;
        for (const ButtonSpec& spec : kButtons) {
            const int id = 2000 + row * 100 + static_cast<int>(buttons.size() % 100);
            const HWND control = ::CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, x,
                                                   45 + row * 130, spec.width, spec.height, window,
                                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
            auto button = std::make_unique<MyButton>();
            button->Attach(control, spec.normal, spec.hover, spec.pressed, spec.pressed);
            // Row 2 shows hover, row 3 pressed.
            if (row >= 1) ::SendMessageW(control, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
            if (row == 2) ::SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
            ::ReleaseCapture();
            buttons.push_back(std::move(button));
            x += spec.width + 12;
        }
    }
    ::UpdateWindow(window);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
