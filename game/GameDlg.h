// CGameDlg: the game window. A borderless, resizable popup dialog whose top
// strip is a home-made title bar (a skin picture, the page title and seven
// bitmap buttons) over the embedded browser that shows the game. It carries
// the tray icon, the F9 hotkey and the popup menus, and its exit command is
// the only way out of the game.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <string>

#include "game/BrowserHost.h"
#include "game/GameLayout.h"
#include "skin/MyButton.h"
#include "skin/SkinBitmap.h"
#include "toolkit/DialogBase.h"
#include "toolkit/HostedBrowser.h"
#include "toolkit/MessageLoop.h"

class CGameDlg : public CDialogBase, public CMessageFilter, public CIdleHandler {
public:
    // module: where the window registers with the thread's message loop.
    explicit CGameDlg(CAppModule& module);
    ~CGameDlg() override = default;

    // Creates the window modeless with no owner; its browser navigates to
    // startUrl, which must outlive the call. Null when the window could not
    // be created or destroyed itself because the browser could not be.
    HWND CreateGameWindow(const VARIANT* startUrl);

    // Between the initial client size (centred) and the work area from (0, 0).
    void ToggleWorkArea();
    // Asks "正在游戏中，是否确认退出游戏？". OK calls the exit handler and removes
    // the tray icon (as soon as it is clicked), then destroys the window and
    // ends the loop.
    void ConfirmExit();
    // Called once the player has confirmed the exit, before the window goes.
    void SetExitConfirmedHandler(std::function<void()> handler) { m_onExitConfirmed = std::move(handler); }
    // Hides the window when visible, shows it when hidden.
    void ToggleVisible();
    // Draws text (cut at 255 units) into the title bar at once.
    void SetTitleText(const wchar_t* text);
    void RefreshBrowser();
    // Shows the first popup of menu resource menuId at the cursor.
    void ShowPopupMenu(UINT menuId);
    // Empties the cookie entries, the cookies folder and the asset cache,
    // then says "清空完成！".
    void ClearCache();
    // The asset cache directory ClearCache empties: the one the asset server
    // fixed when it started.
    void SetAssetCacheRoot(std::wstring root) { m_strAssetCacheRoot = std::move(root); }
    // Called once ClearCache has emptied the asset cache directory, so that
    // the asset server lets go of what it keeps of it in memory.
    void SetAssetCacheClearedHandler(std::function<void()> handler) { m_onAssetCacheCleared = std::move(handler); }

    HWND GetHwnd() const { return m_hWnd; }
    HWND GetBrowserHostWindow() const { return m_hWndBrowserHost; }
    // The hosted browser while the window exists, or null.
    IWebBrowser2* GetBrowser() const { return m_browser.get(); }
    WindowState GetWindowState() const { return m_windowState; }
    SIZE GetPreviousSize() const { return {m_nPreviousWidth, m_nPreviousHeight}; }
    const CInvokeEvent& GetEventSink() const { return m_eventSink; }
    const wchar_t* GetTitleText() const { return m_szTitleText; }
    const NOTIFYICONDATAW& GetNotifyIconData() const { return m_nid; }
    // Tests make the browser creation fail with a text that names no control.
    void SetCreationText(std::wstring text) { m_strCreationText = std::move(text); }

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnIdle() override { return FALSE; }

protected:
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    // 1, or 0 when the browser could not be created and the window is gone.
    LRESULT OnInitDialog() override;
    bool OnCommand(WORD id, WORD code) override;
    void OnFinalMessage(HWND) override;

private:
    HWND Button(GameWindowButton name) const { return ::GetDlgItem(m_hWnd, ControlId(name)); }
    void AttachButtons();
    bool CreateBrowserHost();
    void LayOut(UINT sizeType, int32_t width, int32_t height);
    void SwapToggleButtons();
    void PaintBackground();
    void OnNcLButtonDown(WPARAM hitTest, LPARAM point);
    void OnSetCursor(LPARAM lParam);
    void AddTrayIcon(HICON smallIcon);
    void RemoveTrayIcon();
    int AskExitQuestion();
    void ExitConfirmed();
    static LRESULT CALLBACK WatchQuestion(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK QuestionProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // The window whose exit question is up on this thread, and the
    // question's own window procedure.
    static thread_local CGameDlg* t_pAsking;
    static thread_local WNDPROC t_pfnQuestionProc;
    void OnTrayNotify(LPARAM mouseMessage);
    void OnHotKey(WPARAM id);
    void OnDestroy();

    CAppModule& m_module;
    HWND m_hWndBrowserHost = nullptr;
    CHostedBrowser m_browser;
    CInvokeEvent m_eventSink;
    MyButton m_btnClose;
    MyButton m_btnMinimize;
    MyButton m_btnRestore;   // shown while filling the work area
    MyButton m_btnWorkArea;  // shown otherwise
    MyButton m_btnHide;
    MyButton m_btnEmblem;
    MyButton m_btnMenu;
    CSkinPicture m_picTitleBar;
    const LayoutEntry* m_pLayout = nullptr;
    int32_t m_nLayoutCount = 0;
    int32_t m_nPreviousWidth = 0;
    int32_t m_nPreviousHeight = 0;
    WindowState m_windowState = WindowState::kNormal;
    RECT m_rcInitialClient{};
    RECT m_rcWorkArea{};
    NOTIFYICONDATAW m_nid{};  // its hIcon is the window's small icon
    bool m_bTrayIconRemoved = false;
    bool m_bExitConfirmed = false;
    wchar_t m_szTitleText[256] = {};

    const VARIANT* m_pStartUrl = nullptr;
    std::wstring m_strCreationText;
    std::wstring m_strAssetCacheRoot;
    std::function<void()> m_onAssetCacheCleared;
    std::function<void()> m_onExitConfirmed;
    UINT m_uTaskbarCreated = 0;
};
