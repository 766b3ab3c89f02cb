// CTranslucentDlg: the start window, which is also the application object.
// It owns the game window, the start URL, the instance mutex, the run mode and
// the executable file name, and runs the start sequence (app/). As a window it is a
// translucent picture (WEBP 271) with the start dialog laid over it; dragging
// any visible point of the picture moves both.
#pragma once

#include <windows.h>

#include <string>

#include "app/RunMode.h"
#include "game/GameDlg.h"
#include "skin/LayeredSkin.h"
#include "toolkit/ComOwners.h"
#include "toolkit/DialogBase.h"
#include "toolkit/ScopedResource.h"

enum class UpdateOutcome;

class CTranslucentDlg : public CDialogBase {
public:
    CTranslucentDlg();
    ~CTranslucentDlg() override = default;
    CTranslucentDlg(const CTranslucentDlg&) = delete;
    CTranslucentDlg& operator=(const CTranslucentDlg&) = delete;

    // The whole start: self-update check, asset server, start window, game
    // window, restart. relaunched is true when the command line was "re_open".
    void RunApplication(bool relaunched);
    // Removes the keyboard hook; in run mode 3 starts the installed build
    // with "re_open".
    void RestartIfUpdated();

    // Sets run mode 1, removes the previous build, creates the instance mutex
    // and, for a first instance that was not relaunched, checks for an update;
    // leaves run mode 3 when a new build was installed, and run mode 4 when
    // another copy of this folder is updating. Always true.
    bool CleanupAndCheckUpdate(bool relaunched);
    // Creates the instance mutex (named after the executable's directory) and,
    // for the first instance of a start that was not relaunched, checks for
    // an update, showing the progress window while a new build downloads. A
    // copy that finds another copy of this folder updating brings that
    // copy's progress window to the front and sets run mode 4. False only
    // when the mutex could not be created.
    bool GuardInstanceAndUpdate(bool relaunched);

    // Shows the start window modally; its destruction sets run mode 2.
    void RunStartWindowModal();
    // Creates the game window at the start URL and pumps its loop until
    // WM_QUIT; returns at once when the window could not be created.
    void RunGameWindow();
    // The player has confirmed the exit: lets go of what the next start
    // needs (the asset server's port, the instance mutex, the keyboard hook;
    // no cache file stays open for writing), then ends the process a moment
    // later should the windows take longer to go.
    void ReleaseForExit();

    RunMode GetRunMode() const { return m_nRunMode; }
    const VARIANT& GetStartUrl() const { return *m_varStartUrl.get(); }
    const CLayeredSkin& GetSkin() const { return m_skin; }
    CGameDlg& GetGameWindow() { return m_dlgGame; }

protected:
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    LRESULT OnInitDialog() override;
    const wchar_t* GetExeFileName() const { return m_szExeFileName; }

private:
    // Remembers the last component of the module path.
    void StoreExeFileName(const std::wstring& modulePath);
    // The self-update of this build, its download on a worker thread while
    // this thread pumps messages and shows the progress window.
    UpdateOutcome RunSelfUpdate(const std::wstring& modulePath);

    CLayeredSkin m_skin;
    CGameDlg m_dlgGame;
    CVariant m_varStartUrl;              // empty unless the start page chose one
    CHandle m_hInstanceMutex;            // held until the exit, or the end of the process
    // The update marker (UpdateMarkerName): held from before the update check
    // until the asset server runs, or until the restarted build holds it.
    CHandle m_hUpdateUnderWay;
    RunMode m_nRunMode = kRunModeConstructed;
    wchar_t m_szExeFileName[MAX_PATH] = {};
};
