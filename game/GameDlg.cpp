#include "game/GameDlg.h"

#include <windowsx.h>
#include <process.h>

#include <cwchar>
#include <iterator>
#include <memory>
#include <new>
#include <utility>

#include "common/GamePage.h"
#include "game/CacheClearing.h"
#include "res/resource.h"
#include "toolkit/GdiOwners.h"
#include "toolkit/ScopedResource.h"
#include "toolkit/WindowIcons.h"

namespace {

constexpr WORD kAboutCommand = 0xE140;  // the toolkit's "about" command: ignored
constexpr int kHotKeyRefresh = 116;     // handled, never registered: F5 stays the browser's
constexpr int kHotKeyToggle = 120;      // F9, system-wide
constexpr UINT kTrayMessage = WM_USER + 5;
constexpr UINT kTrayIconId = 128;
constexpr UINT kTrayFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
// How long the exit waits for the shell to take the icon away.
constexpr DWORD kTrayRemovalWaitMs = 200;
// The record's version-3 layout, which ends after guidItem: 952 bytes in the
// 32-bit product; the x64 test build has its own platform's size.
constexpr DWORD kTrayRecordSize = NOTIFYICONDATAW_V3_SIZE;
#ifndef _WIN64
static_assert(kTrayRecordSize == 952);
#endif

constexpr wchar_t kWindowText[] = L"Orlenmark";
constexpr wchar_t kNoticeCaption[] = L"提示";
constexpr wchar_t kExitQuestion[] = L"正在游戏中，是否确认退出游戏？";
constexpr wchar_t kBrowserFailed[] = L"无法连接服务器";
constexpr wchar_t kCacheCleared[] = L"清空完成！";

constexpr COLORREF kTitleColour = RGB(255, 255, 0);  // yellow
constexpr int kTitleX = 30, kTitleY = 5;
constexpr uint16_t kTitleBarPicture = 297;

LPCWSTR CursorResource(FrameCursor cursor) {
    switch (cursor) {
        case FrameCursor::kSizeWestEast: return IDC_SIZEWE;
        case FrameCursor::kSizeNorthSouth: return IDC_SIZENS;
        case FrameCursor::kSizeNorthwestSoutheast: return IDC_SIZENWSE;
        case FrameCursor::kSizeNortheastSouthwest: return IDC_SIZENESW;
        case FrameCursor::kArrow: break;
    }
    return IDC_ARROW;
}

// A hook procedure installed with SetWindowsHookExW.
using CWindowsHook = CScopedHandle<HHOOK, ::UnhookWindowsHookEx>;

unsigned __stdcall DeleteTrayIcon(void* record) {
    const std::unique_ptr<NOTIFYICONDATAW> icon(static_cast<NOTIFYICONDATAW*>(record));
    ::Shell_NotifyIconW(NIM_DELETE, icon.get());
    return 0;
}

}  // namespace

thread_local CGameDlg* CGameDlg::t_pAsking = nullptr;
thread_local WNDPROC CGameDlg::t_pfnQuestionProc = nullptr;

CGameDlg::CGameDlg(CAppModule& module)
    : CDialogBase(IDD_GAME_DIALOG), m_module(module), m_strCreationText(GameCreationText()) {}

HWND CGameDlg::CreateGameWindow(const VARIANT* startUrl) {
    m_pStartUrl = startUrl;
    const HWND window = Create(nullptr);
    m_pStartUrl = nullptr;
    return window && ::IsWindow(window) ? window : nullptr;
}

BOOL CGameDlg::PreTranslateMessage(MSG* msg) { return m_hWnd && ::IsDialogMessageW(m_hWnd, msg); }

bool CGameDlg::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
        case WM_ERASEBKGND:
            PaintBackground();
            result = 1;
            return true;
        case WM_CREATE:
            ::SetWindowLongW(m_hWnd, GWL_STYLE, ::GetWindowLongW(m_hWnd, GWL_STYLE) | WS_THICKFRAME);
            return true;
        case WM_SIZE:
            LayOut(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
            return true;
        case WM_LBUTTONDOWN:
            if (!IsDragRow(HIWORD(lParam))) break;
            // The title bar drags the window.
            ::PostMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
            return true;
        case WM_LBUTTONDBLCLK:
            if (!IsToggleRow(HIWORD(lParam))) break;
            ToggleWorkArea();
            return true;
        case WM_NCHITTEST: {
            RECT frame{};
            ::GetWindowRect(m_hWnd, &frame);
            result = FrameHitTest(static_cast<int16_t>(GET_X_LPARAM(lParam)),
                                  static_cast<int16_t>(GET_Y_LPARAM(lParam)), frame.left, frame.top, frame.right,
                                  frame.bottom);
            return true;
        }
        case WM_SETCURSOR:
            ::SetCursor(::LoadCursorW(nullptr, CursorResource(CursorForHitTest(LOWORD(lParam)))));
            return true;
        case WM_NCLBUTTONDOWN:
            if (wParam == HTCAPTION) break;  // the default processing moves the window
            OnNcLButtonDown(wParam, lParam);
            return true;
        case WM_DESTROY:
            OnDestroy();
            return true;
        case kTrayMessage:
            OnTrayNotify(lParam);
            return true;
        case WM_HOTKEY:
            OnHotKey(wParam);
            break;  // the default processing still runs
        default:
            if (message != 0 && message == m_uTaskbarCreated) {
                // The shell restarted and forgot the icon.
                ::Shell_NotifyIconW(NIM_ADD, &m_nid);
                return true;
            }
            break;
    }
    return CDialogBase::ProcessWindowMessage(window, message, wParam, lParam, result);
}

LRESULT CGameDlg::OnInitDialog() {
    m_szTitleText[0] = L'\0';
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    m_nPreviousWidth = client.right - client.left;
    m_nPreviousHeight = client.bottom - client.top;
    m_rcInitialClient = client;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &m_rcWorkArea, 0);
    ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    CenterWindow();

    AddTrayIcon(SetWindowIcons(m_hWnd, IDI_QUILLMOOR));

    if (CMessageLoop* loop = m_module.GetMessageLoop()) {
        loop->AddMessageFilter(this);
        loop->AddIdleHandler(this);
    }
    AttachButtons();
    ::RegisterHotKey(m_hWnd, kHotKeyToggle, 0, VK_F9);
    ::SetWindowTextW(m_hWnd, kWindowText);
    m_picTitleBar.LoadFromResource(kTitleBarPicture);

    if (!CreateBrowserHost()) {
        ::MessageBoxW(m_hWnd, kBrowserFailed, kNoticeCaption, MB_OK);
        ::DestroyWindow(m_hWnd);
        return 0;
    }
    return 1;
}

void CGameDlg::AttachButtons() {
    m_pLayout = kGameLayout;
    m_nLayoutCount = static_cast<int32_t>(std::size(kGameLayout));
    m_btnClose.Attach(Button(GameWindowButton::kClose), 295, 294, 293, 293);
    m_btnMinimize.Attach(Button(GameWindowButton::kMinimise), 314, 313, 312, 312);
    m_btnRestore.Attach(Button(GameWindowButton::kRestore), 308, 307, 306, 306);
    m_btnWorkArea.Attach(Button(GameWindowButton::kWorkArea), 305, 304, 303, 303);
    ::ShowWindow(Button(GameWindowButton::kWorkArea), SW_HIDE);
    m_btnHide.Attach(Button(GameWindowButton::kHide), 300, 299, 298, 298);
    m_btnEmblem.Attach(Button(GameWindowButton::kEmblem), 301, 301, 301, 301);
    m_btnMenu.Attach(Button(GameWindowButton::kMenu), 311, 310, 309, 309);
}

void CGameDlg::LayOut(UINT sizeType, int32_t width, int32_t height) {
    m_windowState = StateAfterSize(sizeType);
    const int32_t limitedHeight = LimitedHeight(height, ::GetSystemMetrics(SM_CYFULLSCREEN));
    const LayoutChange change = ChangeForSize(sizeType, width, limitedHeight, m_nPreviousWidth, m_nPreviousHeight);
    for (int32_t i = 0; i < m_nLayoutCount; ++i) {
        const LayoutEntry& entry = m_pLayout[i];
        if (entry.percent > 100) continue;
        const HWND control = ::GetDlgItem(m_hWnd, entry.id);
        if (!control) continue;
        RECT rc{};
        ::GetWindowRect(control, &rc);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        const LayoutBox box = FollowChange(entry, {rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top}, change);
        ::MoveWindow(control, box.x, box.y, box.width, box.height, TRUE);
    }
    if (sizeType != kSizeMinimized) {
        m_nPreviousWidth = width;
        m_nPreviousHeight = limitedHeight;
        // The browser asks its host to take the new size, and the host does.
        if (IWebBrowser2* browser = m_browser.get()) {
            browser->put_Width(width - 6);
            browser->put_Height(limitedHeight - 32);
        }
    }
    SwapToggleButtons();
}

void CGameDlg::SwapToggleButtons() {
    const HWND restore = Button(GameWindowButton::kRestore);
    const HWND workArea = Button(GameWindowButton::kWorkArea);
    const bool fillsWorkArea = m_windowState == WindowState::kWorkArea;
    if (fillsWorkArea && !::IsWindowVisible(restore)) {
        ::ShowWindow(restore, SW_SHOWNORMAL);
        ::ShowWindow(workArea, SW_HIDE);
    } else if (!fillsWorkArea && !::IsWindowVisible(workArea)) {
        ::ShowWindow(workArea, SW_SHOWNORMAL);
        ::ShowWindow(restore, SW_HIDE);
    }
}

void CGameDlg::ToggleWorkArea() {
    // The state is written after the move, so the move's own size message
    // still sees the old one.
    if (m_windowState == WindowState::kWorkArea) {
        ::MoveWindow(m_hWnd, 0, 0, m_rcInitialClient.right, m_rcInitialClient.bottom, TRUE);
        CenterWindow();
        m_windowState = WindowState::kNormal;
    } else {
        ::MoveWindow(m_hWnd, 0, 0, m_rcWorkArea.right, m_rcWorkArea.bottom, TRUE);
        m_windowState = WindowState::kWorkArea;
    }
}

void CGameDlg::PaintBackground() {
    const CWindowDC dc(m_hWnd);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    {
        const CBrush black(::CreateSolidBrush(RGB(0, 0, 0)));
        ::FillRect(dc.get(), &client, black.get());
    }
    // The strip keeps its own height and stretches to the window's width.
    m_picTitleBar.StretchTo(dc.get(), client.right - client.left, m_picTitleBar.GetHeight());
    const int previousMode = ::SetBkMode(dc.get(), TRANSPARENT);
    const COLORREF previousColour = ::SetTextColor(dc.get(), kTitleColour);
    ::ExtTextOutW(dc.get(), kTitleX, kTitleY, ETO_CLIPPED, nullptr, m_szTitleText,
                  static_cast<UINT>(::wcslen(m_szTitleText)), nullptr);
    ::SetTextColor(dc.get(), previousColour);
    ::SetBkMode(dc.get(), previousMode);
}

void CGameDlg::SetTitleText(const wchar_t* text) {
    const size_t limit = std::size(m_szTitleText) - 1;
    size_t length = text ? ::wcsnlen(text, limit + 1) : 0;
    if (length > limit) {
        length = limit;
        // Never keep half of a surrogate pair.
        if (IS_HIGH_SURROGATE(text[length - 1])) --length;
    }
    if (length) ::wmemcpy(m_szTitleText, text, length);
    m_szTitleText[length] = L'\0';
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    ::UpdateWindow(m_hWnd);
}

void CGameDlg::ConfirmExit() {
    if (AskExitQuestion() != IDOK) return;
    ExitConfirmed();
    ::DestroyWindow(m_hWnd);
    ::PostQuitMessage(1);
}

// The exit starts on the OK click itself, before the question goes: under
// Wine without a window manager, hiding the message box waits about 2 s for
// a withdrawal nobody confirms, and MessageBoxW returns only after that. A
// CBT hook of this thread sees the question's window come and subclasses it.
int CGameDlg::AskExitQuestion() {
    t_pAsking = this;
    const CWindowsHook hook(::SetWindowsHookExW(WH_CBT, WatchQuestion, nullptr, ::GetCurrentThreadId()));
    const int answer = ::MessageBoxW(m_hWnd, kExitQuestion, kNoticeCaption, MB_OKCANCEL);
    t_pAsking = nullptr;
    t_pfnQuestionProc = nullptr;
    return answer;
}

LRESULT CALLBACK CGameDlg::WatchQuestion(int code, WPARAM wParam, LPARAM lParam) {
    const auto window = reinterpret_cast<HWND>(wParam);
    const bool question = code == HCBT_ACTIVATE && t_pAsking && !t_pfnQuestionProc &&
                          ::GetWindow(window, GW_OWNER) == t_pAsking->m_hWnd;
    if (question) {
        t_pfnQuestionProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(QuestionProc)));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK CGameDlg::QuestionProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC original = t_pfnQuestionProc;
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK && t_pAsking) t_pAsking->ExitConfirmed();
    return ::CallWindowProcW(original, window, message, wParam, lParam);
}

// Once per exit: the handler lets go of what a new start needs, then the
// icon leaves the notification area.
void CGameDlg::ExitConfirmed() {
    if (std::exchange(m_bExitConfirmed, true)) return;
    if (m_onExitConfirmed) m_onExitConfirmed();
    RemoveTrayIcon();
}

void CGameDlg::ToggleVisible() { ::ShowWindow(m_hWnd, ::IsWindowVisible(m_hWnd) ? SW_HIDE : SW_SHOW); }

bool CGameDlg::OnCommand(WORD id, WORD code) {
    // Menu commands, whatever their notification code.
    switch (id) {
        case kAboutCommand:
            return true;
        case ID_MAIN_REFRESH:
        case ID_TRAY_REFRESH:
            RefreshBrowser();
            return true;
        case ID_MAIN_TOGGLE:
        case ID_TRAY_TOGGLE:
            ToggleVisible();
            return true;
        case ID_MAIN_CLEAR_CACHE:
        case ID_TRAY_CLEAR_CACHE:
            ClearCache();
            return true;
        case ID_MAIN_RESET_WINDOW:
            ToggleWorkArea();
            return true;
        case ID_MAIN_EXIT:
        case ID_TRAY_EXIT:
            ConfirmExit();
            return true;
        default:
            break;
    }
    // Title-bar buttons: clicks only; their other notifications are reflected.
    if (code != BN_CLICKED) return false;
    switch (static_cast<GameWindowButton>(id)) {
        case GameWindowButton::kClose:
            ConfirmExit();
            return true;
        case GameWindowButton::kRestore:
        case GameWindowButton::kWorkArea:
            ToggleWorkArea();
            return true;
        case GameWindowButton::kMinimise:
            ::PostMessageW(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
            return true;
        case GameWindowButton::kHide:
            ::ShowWindow(m_hWnd, SW_HIDE);
            return true;
        case GameWindowButton::kMenu:
        case GameWindowButton::kEmblem:
            ShowPopupMenu(IDR_MAIN_MENU);
            return true;
    }
    return false;  // not a title-bar button
}

void CGameDlg::OnNcLButtonDown(WPARAM hitTest, LPARAM point) {
    // Any other code is swallowed.
    if (const uint32_t command = SizingCommandFor(static_cast<uint32_t>(hitTest))) {
        ::SendMessageW(m_hWnd, WM_SYSCOMMAND, command, point);
    }
}

void CGameDlg::AddTrayIcon(HICON smallIcon) {
    m_bTrayIconRemoved = false;
    m_bExitConfirmed = false;
    m_nid = {};
    m_nid.cbSize = kTrayRecordSize;
    m_nid.hWnd = m_hWnd;
    m_nid.uID = kTrayIconId;
    m_nid.uFlags = kTrayFlags;
    m_nid.uCallbackMessage = kTrayMessage;
    m_nid.hIcon = smallIcon;
    ::wcscpy_s(m_nid.szTip, kWindowText);
    ::Shell_NotifyIconW(NIM_ADD, &m_nid);
    m_uTaskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
}

void CGameDlg::OnTrayNotify(LPARAM mouseMessage) {
    if (mouseMessage == WM_LBUTTONDBLCLK) ::ShowWindow(m_hWnd, SW_SHOW);
    if (mouseMessage == WM_RBUTTONDOWN) ShowPopupMenu(IDR_TRAY_MENU);
}

void CGameDlg::ShowPopupMenu(UINT menuId) {
    const CMenu menu(::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(menuId)));
    if (!menu) return;
    const HMENU popup = ::GetSubMenu(menu.get(), 0);  // belongs to the menu
    POINT cursor{};
    ::GetCursorPos(&cursor);
    ::SetMenuDefaultItem(popup, 0, TRUE);
    ::SetForegroundWindow(m_nid.hWnd);
    if (!::MonitorFromPoint(cursor, MONITOR_DEFAULTTONULL)) {
        // Off every monitor: bring x back into the nearest one's work area.
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (::GetMonitorInfoW(::MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &monitor)) {
            if (cursor.x < monitor.rcWork.left) cursor.x = monitor.rcWork.left;
            if (cursor.x > monitor.rcWork.right) cursor.x = monitor.rcWork.right;
        }
    }
    ::TrackPopupMenu(popup, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, ::GetActiveWindow(), nullptr);
}

// The shell takes the icon away as soon as it reads the request, but answers
// only after it has rearranged its own windows: under Wine without a window
// manager that takes about 2 s. So the request is made on a helper thread of
// its own, and waited for only briefly.
void CGameDlg::RemoveTrayIcon() {
    if (std::exchange(m_bTrayIconRemoved, true)) return;
    auto* record = new (std::nothrow) NOTIFYICONDATAW(m_nid);
    const CHandle helper(
        record ? reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, DeleteTrayIcon, record, 0, nullptr)) : nullptr);
    if (!helper) {
        delete record;
        ::Shell_NotifyIconW(NIM_DELETE, &m_nid);
        return;
    }
    ::WaitForSingleObject(helper.get(), kTrayRemovalWaitMs);
}

void CGameDlg::OnHotKey(WPARAM id) {
    if (id == kHotKeyRefresh && ::GetForegroundWindow() == m_hWnd) RefreshBrowser();
    if (id == kHotKeyToggle) ToggleVisible();
}

void CGameDlg::ClearCache() {
    ClearCacheFiles(m_strAssetCacheRoot);
    if (m_onAssetCacheCleared) m_onAssetCacheCleared();
    ::MessageBoxW(m_hWnd, kCacheCleared, kNoticeCaption, MB_OK);
}

void CGameDlg::OnDestroy() {
    ::UnregisterHotKey(m_hWnd, kHotKeyRefresh);
    ::UnregisterHotKey(m_hWnd, kHotKeyToggle);
    if (!m_bTrayIconRemoved) ::Shell_NotifyIconW(NIM_DELETE, &m_nid);
    if (IWebBrowser2* browser = m_browser.get()) browser->Stop();
    m_browser.Disconnect();
    if (CMessageLoop* loop = m_module.GetMessageLoop()) {
        loop->RemoveMessageFilter(this);
        loop->RemoveIdleHandler(this);
    }
}

void CGameDlg::OnFinalMessage(HWND) {
    // The host and its control went with the window's children.
    m_hWndBrowserHost = nullptr;
}
