// The application object's run sequence, its end, and the restart after an
// update.
#include <process.h>

#include <vector>

#include "app/Globals.h"
#include "app/ModulePath.h"
#include "app/RestartCommand.h"
#include "common/AnsiText.h"
#include "common/CurrentDirectory.h"
#include "skin/KeyboardHook.h"

namespace {

// Once the player has confirmed the exit: how long stores under way and open
// connections of the asset server may take to finish...
constexpr DWORD kServiceEndWaitMs = 400;
// ...and how long the windows then have to go before the process ends anyway.
constexpr DWORD kExitGraceMs = 300;
// After starting the new build: how long this process waits for the build
// to hold the update marker in its place. A build that never does (one
// from before the marker) costs this much, and then the old build stays
// until the next start removes it.
constexpr DWORD kHandOverWaitMs = 5000;

unsigned __stdcall EndProcessAfterGrace(void*) {
    ::Sleep(kExitGraceMs);
    ::TerminateProcess(::GetCurrentProcess(), 0);
    return 0;
}

}  // namespace

void CTranslucentDlg::RunApplication(bool relaunched) {
    CleanupAndCheckUpdate(relaunched);
    // Another copy of this folder is updating: its build needs the port.
    if (m_nRunMode == kRunModeEnd) return;
    // The server runs in every mode, also before a restart. A port still
    // held by a client that is closing is taken as soon as it is free.
    g_HttpServer->StartServer();
    // A copy started from now on may run beside this one; before a restart
    // the marker waits for the new build.
    if (m_nRunMode != kRunModeRestart) m_hUpdateUnderWay.reset();
    m_dlgGame.SetAssetCacheRoot(WidenAnsi(g_HttpServer->GetCacheRoot()));
    m_dlgGame.SetAssetCacheClearedHandler([] { g_HttpServer->ForgetKeptAssets(); });
    m_dlgGame.SetExitConfirmedHandler([this] { ReleaseForExit(); });

    if (m_nRunMode == kRunModeStartWindow) {
        CScopedMessageLoop loop(g_Module);
        RunStartWindowModal();
    }
    if (m_nRunMode == kRunModeGameWindow) {
        CScopedMessageLoop loop(g_Module);
        RunGameWindow();
    }
    RestartIfUpdated();
}

// Under Wine without a window manager, destroying the game window and
// removing its tray icon each wait about 2 s for a withdrawal that no window
// manager confirms: the process used to outlive its window by 4 to 6 s, port
// and all. What a new start needs is let go here, first; the windows then go
// the ordinary way, and the process ends after kExitGraceMs should they take
// longer. Nothing is left unsaved by then: the cache stores no more, and
// every cache file is written under a temporary name before its rename.
void CTranslucentDlg::ReleaseForExit() {
    g_HttpServer->EndService(kServiceEndWaitMs);
    RemoveKeyboardHook();
    if (m_hInstanceMutex) ::ReleaseMutex(m_hInstanceMutex.get());
    m_hInstanceMutex.reset();
    const CHandle guard(
        reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, EndProcessAfterGrace, nullptr, 0, nullptr)));
}

void CTranslucentDlg::RestartIfUpdated() {
    RemoveKeyboardHook();
    if (m_nRunMode != kRunModeRestart) return;

    // The new build was installed in the current directory under our name.
    const std::wstring directory = CurrentDirectoryW();
    if (directory.empty()) return;
    const RestartCommand command = MakeRestartCommand(directory, m_szExeFileName);
    std::vector<wchar_t> commandLine(command.commandLine.begin(), command.commandLine.end());
    commandLine.push_back(L'\0');

    // The new build looks for the update marker named after its own folder,
    // which is not ours when the current directory is another.
    m_hUpdateUnderWay.reset(
        ::CreateEventW(nullptr, TRUE, FALSE, UpdateMarkerName(command.applicationPath).c_str()));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
#ifndef _WIN64
    static_assert(sizeof(STARTUPINFOW) == 68);  // the 32-bit layout
#endif
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(command.applicationPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                         CREATE_DEFAULT_ERROR_MODE | CREATE_UNICODE_ENVIRONMENT | CREATE_NEW_CONSOLE, nullptr,
                         directory.c_str(), &startup, &process)) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        // Until the new build holds the update marker, a copy started now
        // must still find it.
        if (m_hUpdateUnderWay) ::WaitForSingleObject(m_hUpdateUnderWay.get(), kHandOverWaitMs);
    }
}
