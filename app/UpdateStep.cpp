// The application object's first step: the previous build's removal, the
// instance guard, and the self-update with its progress window.
#include <windows.h>

#include <atomic>
#include <string>
#include <utility>

#include "app/ClientUpdateSettings.h"
#include "app/ModulePath.h"
#include "skin/TranslucentDlg.h"
#include "skin/UpdateProgressDlg.h"
#include "update/SelfUpdate.h"

namespace {

// The progress window comes only once a build has been downloading this
// long, so a fast update does not flash it.
constexpr ULONGLONG kProgressWindowDelayMs = 300;
// How often the window is brought up to date while the worker runs.
constexpr DWORD kProgressTickMs = 50;

std::wstring ModulePath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length < MAX_PATH ? length : 0);
}

// The build download's progress: written by the update's worker, read by
// the main thread.
struct SharedProgress {
    std::atomic<uint32_t> received{0};
    std::atomic<uint32_t> total{0};  // 0 until the build's reply has come
};

void DispatchWaitingMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// Pumps this thread's messages until the update's worker has ended, so the
// program keeps answering. The progress window shows once the build has
// been downloading for kProgressWindowDelayMs, never for the version file or
// the signature, and it is gone when this returns.
void WaitShowingProgress(const CSelfUpdate& update, const SharedProgress& progress) {
    CUpdateProgressDlg window;
    bool windowTried = false;
    ULONGLONG downloadSeenAt = 0;
    const HANDLE worker = update.GetWorker();
    for (;;) {
        const DWORD woken = ::MsgWaitForMultipleObjectsEx(1, &worker, kProgressTickMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        // The worker has ended, or the wait failed and Finish waits instead.
        if (woken != WAIT_TIMEOUT && woken != WAIT_OBJECT_0 + 1) break;
        DispatchWaitingMessages();
        const uint32_t total = progress.total;
        if (total == 0) continue;
        const ULONGLONG now = ::GetTickCount64();
        if (downloadSeenAt == 0) downloadSeenAt = now;
        if (!windowTried && now - downloadSeenAt >= kProgressWindowDelayMs) {
            windowTried = true;
            window.Show();
        }
        window.SetProgress(progress.received, total);
    }
    window.Close();
}

bool IsUpdateUnderWay(const std::wstring& modulePath) {
    return static_cast<bool>(CHandle(::OpenEventW(SYNCHRONIZE, FALSE, UpdateMarkerName(modulePath).c_str())));
}

}  // namespace

void CTranslucentDlg::StoreExeFileName(const std::wstring& modulePath) {
    const std::wstring name = ExecutableFileName(modulePath);
    const size_t length = name.size() < MAX_PATH ? name.size() : MAX_PATH - 1;
    name.copy(m_szExeFileName, length);
    m_szExeFileName[length] = L'\0';
}

bool CTranslucentDlg::CleanupAndCheckUpdate(bool relaunched) {
    m_nRunMode = kRunModeStartWindow;
    const std::wstring modulePath = ModulePath();
    StoreExeFileName(modulePath);
    if (relaunched) {
        // The process that started us waits for this before it ends, and so
        // lets go of the old build, which the removal below needs.
        m_hUpdateUnderWay.reset(::OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE,
                                             UpdateMarkerName(modulePath).c_str()));
        if (m_hUpdateUnderWay) ::SetEvent(m_hUpdateUnderWay.get());
    }
    RemoveReplacedBuild(relaunched);
    GuardInstanceAndUpdate(relaunched);
    return true;
}

bool CTranslucentDlg::GuardInstanceAndUpdate(bool relaunched) {
    const std::wstring modulePath = ModulePath();
    StoreExeFileName(modulePath);
    ::SetLastError(0);
    const HANDLE mutex = ::CreateMutexW(nullptr, TRUE, InstanceMutexName(modulePath).c_str());
    const DWORD error = ::GetLastError();
    m_hInstanceMutex.reset(mutex);
    // Another copy of this folder is updating, or restarting into its new
    // build: it shows the player what happens, and the build it starts needs
    // the asset server's port. This copy ends, showing nothing of its own.
    if (!relaunched && IsUpdateUnderWay(modulePath)) {
        CUpdateProgressDlg::BringShownToFront();
        m_nRunMode = kRunModeEnd;
        return true;
    }
    // Another instance from this directory runs: it has checked already.
    if (error == ERROR_ALREADY_EXISTS) return true;
    if (error != 0 || !m_hInstanceMutex) return false;
    if (relaunched) return true;
    m_hUpdateUnderWay.reset(::CreateEventW(nullptr, TRUE, FALSE, UpdateMarkerName(modulePath).c_str()));
    if (RunSelfUpdate(modulePath) == UpdateOutcome::kInstalled) m_nRunMode = kRunModeRestart;
    return true;
}

UpdateOutcome CTranslucentDlg::RunSelfUpdate(const std::wstring& modulePath) {
    UpdateSettings settings = ClientUpdateSettings();
    settings.modulePath = modulePath;
    settings.exeFileName = m_szExeFileName;
    // Declared first: the update waits for its worker when it goes.
    SharedProgress progress;
    CSelfUpdate update(std::move(settings), [&progress](uint32_t received, uint32_t total) {
        progress.received = received;
        progress.total = total;
    });
    if (!update.Start()) return UpdateOutcome::kFailed;
    WaitShowingProgress(update, progress);
    return update.Finish();
}
