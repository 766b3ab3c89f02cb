// CTranslucentDlg: the start window, which is also the application object.
// It owns the game window, the start URL, the instance mutex, the run mode and
// the executable file name, and runs the start sequence.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "app/RunMode.h"
#include "game/GameDlg.h"

class CTranslucentDlg {
public:
    CTranslucentDlg();
    ~CTranslucentDlg();
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
    // leaves run mode 3 when a new build was installed. Always true.
    bool CleanupAndCheckUpdate(bool relaunched);
    // Creates the instance mutex (named after the executable's directory) and,
    // for the first instance of a start that was not relaunched, checks for
    // an update. False only when the mutex could not be created.
    bool GuardInstanceAndUpdate(bool relaunched);

    RunMode GetRunMode() const { return m_nRunMode; }
    const wchar_t* GetExeFileName() const { return m_szExeFileName; }

private:
    // Remembers the last component of the module path.
    void StoreExeFileName(const std::wstring& modulePath);
    // Reads "ver.txt" and, when another version is announced, downloads,
    // verifies and swaps in the new build. True only when it is in place.
    bool InstallAnnouncedBuild();
    // Shows the start window modally; it sets run mode 2 when it goes.
    void RunStartWindowModal();
    // Creates the game window and pumps its loop until WM_QUIT.
    void RunGameWindow();

    CGameDlg m_dlgGame;
    VARIANT m_varStartUrl;               // empty unless the start page chose one
    HANDLE m_hInstanceMutex = nullptr;   // never closed: released by process end
    RunMode m_nRunMode = kRunModeConstructed;
    wchar_t m_szExeFileName[MAX_PATH] = {};
};
