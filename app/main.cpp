// The process entry point and the process-wide objects.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include "app/CommandLine.h"
#include "BuildConfig.h"
#include "app/Globals.h"
#include "toolkit/ControlHost.h"

// Built in this order before wWinMain runs, destroyed in reverse after it.
CAppModule g_Module;
// The control host's window class is there before any window needs it.
static const bool g_bControlHostRegistered = RegisterControlHostClass();
CNoDestroy<CHTTPServer> g_HttpServer(quillmoor::config::kCdnBase, quillmoor::config::kCacheLimitBytes,
                                     quillmoor::config::kCdnIdleLimitMs ? quillmoor::config::kCdnIdleLimitMs
                                                                        : kCdnFetchIdleLimitMs);
CTranslucentDlg g_App;

namespace {

// The "delfile" form: an outside caller asks us to remove a file first.
void DeleteRequestedFile(const std::wstring& path) {
    ::DeleteFileW(path.c_str());
    ::Sleep(100);
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    ::CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    // The module remembers the instance handle for loading resources.
    g_Module.Init(instance);

    const StartupCommand command = ParseCommandLine(commandLine ? commandLine : L"");
    if (!command.fileToDelete.empty()) DeleteRequestedFile(command.fileToDelete);

    g_App.RunApplication(command.relaunched);

    g_Module.Term();
    ::CoUninitialize();
    return 0;
}
