#include "skin/UpdateProgressDlg.h"

#include <commctrl.h>

#include <cwchar>

#include "res/resource.h"
#include "toolkit/WindowIcons.h"

namespace {

constexpr wchar_t kWindowText[] = L"Orlenmark";
constexpr wchar_t kUpdatingText[] = L"正在更新…";
constexpr uint16_t kTitleBarPicture = 297;

// The look of the skin: deep green, gold lines, parchment text.
constexpr COLORREF kBackgroundColour = RGB(0x0b, 0x3d, 0x2e);
constexpr COLORREF kFrameColour = RGB(0xd9, 0xb4, 0x4a);
constexpr COLORREF kTextColour = RGB(0xf3, 0xe6, 0xc0);
constexpr COLORREF kTitleColour = RGB(255, 255, 0);  // as the game window's title

// The layout in pixels: small, whatever the dialog font's units.
constexpr int kWidth = 360, kHeight = 112;
constexpr int kTitleX = 12, kTitleY = 7;
constexpr int kMargin = 24;
constexpr int kTextTop = 46, kTextHeight = 20;
constexpr int kBarTop = 72, kBarHeight = 18;

// The percentage of received in total, rounded down, never over 100.
int Percentage(uint32_t received, uint32_t total) {
    const uint64_t percentage = uint64_t{received} * 100 / total;
    return percentage > 100 ? 100 : static_cast<int>(percentage);
}

struct Search {
    HWND found = nullptr;
};

// A shown top-level window titled kWindowText that holds the progress bar.
BOOL CALLBACK FindShownProgressWindow(HWND window, LPARAM param) {
    wchar_t text[32] = {};
    ::GetWindowTextW(window, text, 32);
    if (std::wcscmp(text, kWindowText) != 0 || !::IsWindowVisible(window) || !::GetDlgItem(window, IDC_UPDATE_BAR)) {
        return TRUE;
    }
    reinterpret_cast<Search*>(param)->found = window;
    return FALSE;
}

}  // namespace

CUpdateProgressDlg::CUpdateProgressDlg() : CDialogBase(IDD_UPDATE_PROGRESS) {}

CUpdateProgressDlg::~CUpdateProgressDlg() { Close(); }

bool CUpdateProgressDlg::Show() {
    if (m_hWnd) return false;
    // The entry point registers the bar classes only; the progress bar is
    // needed here alone.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    m_picTitleBar.LoadFromResource(kTitleBarPicture);
    m_brBackground.reset(::CreateSolidBrush(kBackgroundColour));
    if (!Create(nullptr)) return false;
    ::ShowWindow(m_hWnd, SW_SHOW);
    ::SetForegroundWindow(m_hWnd);
    ::UpdateWindow(m_hWnd);
    return true;
}

void CUpdateProgressDlg::SetProgress(uint32_t received, uint32_t total) {
    if (!m_hWnd || total == 0) return;
    const int percentage = Percentage(received, total);
    if (percentage == m_nShownPercentage) return;
    m_nShownPercentage = percentage;
    ::SendDlgItemMessageW(m_hWnd, IDC_UPDATE_BAR, PBM_SETPOS, static_cast<WPARAM>(percentage), 0);
    wchar_t text[32] = {};
    std::swprintf(text, 32, L"%ls %d%%", kUpdatingText, percentage);
    ::SetDlgItemTextW(m_hWnd, IDC_UPDATE_TEXT, text);
}

void CUpdateProgressDlg::Close() {
    if (m_hWnd) ::DestroyWindow(m_hWnd);
}

bool CUpdateProgressDlg::BringShownToFront() {
    Search search;
    ::EnumWindows(FindShownProgressWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return false;
    if (::IsIconic(search.found)) ::ShowWindow(search.found, SW_RESTORE);
    ::SetForegroundWindow(search.found);
    return true;
}

bool CUpdateProgressDlg::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                              LRESULT& result) {
    switch (message) {
        case WM_ERASEBKGND:
            PaintBackground(reinterpret_cast<HDC>(wParam));
            result = TRUE;
            return true;
        case WM_CTLCOLORSTATIC:
            ::SetTextColor(reinterpret_cast<HDC>(wParam), kTextColour);
            ::SetBkColor(reinterpret_cast<HDC>(wParam), kBackgroundColour);
            result = reinterpret_cast<LRESULT>(m_brBackground.get());
            return true;
        case WM_CLOSE:
            // Nothing ends the update half-way, Alt+F4 included.
            result = 0;
            return true;
        default:
            return CDialogBase::ProcessWindowMessage(window, message, wParam, lParam, result);
    }
}

LRESULT CUpdateProgressDlg::OnInitDialog() {
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, kWidth, kHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::MoveWindow(::GetDlgItem(m_hWnd, IDC_UPDATE_TEXT), kMargin, kTextTop, kWidth - 2 * kMargin, kTextHeight, FALSE);
    ::MoveWindow(::GetDlgItem(m_hWnd, IDC_UPDATE_BAR), kMargin, kBarTop, kWidth - 2 * kMargin, kBarHeight, FALSE);
    CenterWindow();
    SetWindowIcons(m_hWnd, IDI_QUILLMOOR);
    ::SetWindowTextW(m_hWnd, kWindowText);
    SetProgress(0, 1);
    return FALSE;  // nothing to take the focus
}

void CUpdateProgressDlg::PaintBackground(HDC dc) const {
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    ::FillRect(dc, &client, m_brBackground.get());
    // The strip keeps its own height and shrinks to the window's width.
    m_picTitleBar.StretchTo(dc, client.right - client.left, m_picTitleBar.GetHeight());
    {
        const CBrush frame(::CreateSolidBrush(kFrameColour));
        ::FrameRect(dc, &client, frame.get());
    }
    const CSelectObject font(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0)));
    const int previousMode = ::SetBkMode(dc, TRANSPARENT);
    const COLORREF previousColour = ::SetTextColor(dc, kTitleColour);
    ::ExtTextOutW(dc, kTitleX, kTitleY, 0, nullptr, kWindowText, static_cast<UINT>(std::wcslen(kWindowText)), nullptr);
    ::SetTextColor(dc, previousColour);
    ::SetBkMode(dc, previousMode);
}
