// The self-update: removal of the previous build, the instance mutex, and the
// check, download and swap of a newly announced build.
#include <windows.h>

#include <optional>
#include <string>

#include "BuildConfig.h"
#include "app/ModulePath.h"
#include "common/AnsiText.h"
#include "net/Download.h"
#include "res/resource.h"
#include "skin/TranslucentDlg.h"
#include "update/SignedBuild.h"
#include "update/UpdateKey.h"
#include "update/VersionFile.h"

namespace {

constexpr wchar_t kUpdateBase[] = QUILLMOOR_WIDEN(QUILLMOOR_UPDATE_BASE_A);
constexpr char kUpdateKeyHex[] = QUILLMOOR_UPDATE_KEY_A;
constexpr wchar_t kVersionFileName[] = L"ver.txt";
// Both relative to the current directory, whatever the executable is called.
constexpr wchar_t kDownloadedBuild[] = L"Quillmoor.exe.tmp";
constexpr wchar_t kReplacedBuild[] = L"Quillmoor.exe.old";
constexpr int kOldBuildRetries = 3;
constexpr DWORD kOldBuildRetryPauseMs = 1000;
// The version file is at most 255 bytes: one byte of the buffer stays zero.
constexpr uint32_t kVersionFileCapacity = 255;

std::wstring ModulePath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length < MAX_PATH ? length : 0);
}

// Puts the downloaded build in place of the running one. Either the new build
// ends up under the executable's name, or everything is as it was (the
// download stays as "Quillmoor.exe.tmp"): the player is never left without a
// program to start.
bool SwapInDownloadedBuild(const std::wstring& modulePath, const wchar_t* exeFileName) {
    if (!::MoveFileW(modulePath.c_str(), kReplacedBuild)) return false;
    if (::MoveFileW(kDownloadedBuild, exeFileName)) return true;
    ::MoveFileW(kReplacedBuild, modulePath.c_str());
    return false;
}

// Downloads the announced build into "Quillmoor.exe.tmp". A client with a
// key takes only a build its publisher signed and, when it refuses one,
// leaves no "Quillmoor.exe.tmp" behind; a client without a key checks only
// the MD5 of "ver.txt".
bool DownloadAnnouncedBuild(const std::wstring& buildUrl, const AnnouncedBuild& announced,
                            const CDownloadDeadline& checkDeadline) {
    if (kUpdateKeyHex[0] == '\0') {
        return !buildUrl.empty() && DownloadToFileChecked(buildUrl.c_str(), kDownloadedBuild, announced.md5.c_str());
    }
    // The build checked the key; one that does not parse refuses every build.
    const std::optional<UpdateKey> key = ParseUpdateKey(kUpdateKeyHex);
    if (key && DownloadSignedBuild(*key, announced, buildUrl, kDownloadedBuild, checkDeadline)) return true;
    ::DeleteFileW(kDownloadedBuild);
    return false;
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
    StoreExeFileName(ModulePath());
    // After a restart the previous process may still hold the old build.
    bool removed = ::DeleteFileW(kReplacedBuild) != FALSE;
    for (int attempt = 0; !removed && relaunched && attempt < kOldBuildRetries; ++attempt) {
        ::Sleep(kOldBuildRetryPauseMs);
        removed = ::DeleteFileW(kReplacedBuild) != FALSE;
    }
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
    // Another instance from this directory runs: it has checked already.
    if (error == ERROR_ALREADY_EXISTS) return true;
    if (error != 0 || !m_hInstanceMutex) return false;
    if (relaunched) return true;
    if (InstallAnnouncedBuild()) m_nRunMode = kRunModeRestart;
    return true;
}

bool CTranslucentDlg::InstallAnnouncedBuild() {
    // Every file of the check shares one deadline: a silent or crawling
    // update host holds the start for kUpdateCheckTimeLimitMs at most.
    const CDownloadDeadline checkDeadline(kUpdateCheckTimeLimitMs);
    const std::wstring versionUrl = UpdateFileUrl(kUpdateBase, kVersionFileName);
    char text[kVersionFileCapacity + 1] = {};
    if (versionUrl.empty() || DownloadToBuffer(versionUrl.c_str(), text, kVersionFileCapacity, checkDeadline) == 0) {
        return false;
    }

    const AnnouncedBuild announced{GetVersionValue(text, "version"), GetVersionValue(text, "exe"),
                                   GetVersionValue(text, "md5")};
    const std::wstring remoteVersion = WidenAnsi(announced.version);
    const std::wstring remoteFile = WidenAnsi(announced.exe);

    wchar_t localVersion[256] = {};
    ::LoadStringW(::GetModuleHandleW(nullptr), IDS_LOCAL_VERSION, localVersion, 255);
    if (!IsUpdateAnnounced(remoteVersion, localVersion)) return false;

    if (!DownloadAnnouncedBuild(UpdateFileUrl(kUpdateBase, remoteFile), announced, checkDeadline)) return false;
    return SwapInDownloadedBuild(ModulePath(), m_szExeFileName);
}
