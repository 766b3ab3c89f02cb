#include "toolkit/WindowIcons.h"

namespace {

HICON LoadSharedIcon(WORD iconId, int width, int height) {
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), IMAGE_ICON, width,
                                           height, LR_DEFAULTCOLOR | LR_SHARED));
}

}  // namespace

HICON SetWindowIcons(HWND window, WORD iconId) {
    const HICON big = LoadSharedIcon(iconId, ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON));
    ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    const HICON small = LoadSharedIcon(iconId, ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON));
    ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    return small;
}
