// The application object's run sequence and the restart after an update.
#include <vector>

#include "app/Globals.h"
#include "app/RestartCommand.h"
#include "common/CurrentDirectory.h"
#include "skin/KeyboardHook.h"

void CTranslucentDlg::RunApplication(bool relaunched) {
    CleanupAndCheckUpdate(relaunched);
    // The server runs in every mode, also before a restart.
    g_HttpServer->StartServer();

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

void CTranslucentDlg::RestartIfUpdated() {
    RemoveKeyboardHook();
    if (m_nRunMode != kRunModeRestart) return;

    // The new build was installed in the current directory under our name.
    const std::wstring directory = CurrentDirectoryW();
    if (directory.empty()) return;
    const RestartCommand command = MakeRestartCommand(directory, m_szExeFileName);
    std::vector<wchar_t> commandLine(command.commandLine.begin(), command.commandLine.end());
    commandLine.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    static_assert(sizeof(STARTUPINFOW) == 68);
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(command.applicationPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                         CREATE_DEFAULT_ERROR_MODE | CREATE_UNICODE_ENVIRONMENT | CREATE_NEW_CONSOLE, nullptr,
                         directory.c_str(), &startup, &process)) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
}
