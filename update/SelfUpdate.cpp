#include "update/SelfUpdate.h"

#include <process.h>

#include <optional>
#include <utility>

#include "common/AnsiText.h"
#include "update/BuildSwap.h"
#include "update/SignedBuild.h"
#include "update/UpdateKey.h"
#include "update/VersionFile.h"

namespace {

constexpr wchar_t kVersionFileName[] = L"ver.txt";
// Both relative to the current directory, whatever the executable is called.
constexpr wchar_t kDownloadedBuild[] = L"Quillmoor.exe.tmp";
constexpr wchar_t kReplacedBuild[] = L"Quillmoor.exe.old";
constexpr int kOldBuildRetries = 3;
constexpr DWORD kOldBuildRetryPauseMs = 1000;
// The version file is at most 255 bytes: one byte of the buffer stays zero.
constexpr uint32_t kVersionFileCapacity = 255;

UpdateOutcome OutcomeOf(CheckedDownload download) {
    switch (download) {
        case CheckedDownload::kWritten: return UpdateOutcome::kInstalled;
        case CheckedDownload::kRefused: return UpdateOutcome::kRefused;
        case CheckedDownload::kFailed: break;
    }
    return UpdateOutcome::kFailed;
}

// What the announced version is to this client.
enum class AnnouncedVersion {
    kNoUpdate,
    kUpdate,
    kRefused,  // a client with a key takes no build of this version, however it is signed
};

// A client without a key keeps the rule hosts that do not sign may rely on:
// any version that does not begin with its own is an update. A client with
// a key goes only forward, by the numbers: an older release replayed with
// its own genuine signature would bring back every hole fixed since, and a
// version that is not dotted decimal numbers is no release's. The signature
// file must name this very version (SignedBuild), so the signed version is
// the newer one.
AnnouncedVersion JudgeAnnouncedVersion(const UpdateSettings& settings, const std::wstring& version) {
    if (settings.updateKeyHex.empty()) {
        return IsUpdateAnnounced(version, settings.localVersion) ? AnnouncedVersion::kUpdate
                                                                 : AnnouncedVersion::kNoUpdate;
    }
    const std::optional<int> order = CompareVersionNumbers(version, settings.localVersion);
    if (order == 0) return AnnouncedVersion::kNoUpdate;
    return order && *order > 0 ? AnnouncedVersion::kUpdate : AnnouncedVersion::kRefused;
}

// Downloads the announced build into "Quillmoor.exe.tmp". A client with a
// key takes only a newer build its publisher signed and, when it does not
// take one, leaves no "Quillmoor.exe.tmp" behind; a client without a key
// checks only the MD5 of "ver.txt".
CheckedDownload DownloadAnnouncedBuild(const UpdateSettings& settings, AnnouncedVersion version,
                                       const std::wstring& buildUrl, const AnnouncedBuild& announced,
                                       const CDownloadDeadline& checkDeadline, const DownloadProgress& progress) {
    if (settings.updateKeyHex.empty()) {
        if (buildUrl.empty()) return CheckedDownload::kRefused;
        CheckedDownloadOptions options;
        options.progress = progress;
        return DownloadToFileChecked(buildUrl.c_str(), kDownloadedBuild, announced.md5.c_str(), options);
    }
    // The build checked the key; one that does not parse refuses every build.
    const std::optional<UpdateKey> key = ParseUpdateKey(settings.updateKeyHex);
    const CheckedDownload download =
        key && version == AnnouncedVersion::kUpdate
            ? DownloadSignedBuild(*key, announced, buildUrl, kDownloadedBuild, checkDeadline, progress)
            : CheckedDownload::kRefused;
    if (download != CheckedDownload::kWritten) ::DeleteFileW(kDownloadedBuild);
    return download;
}

// The swap's file operations on the disk. Every move is written through, so
// that after a power cut the names never point at bytes the disk does not
// hold yet; a move may become a copy when the current directory lies on
// another volume than the executable.
class CDiskBuildFiles : public IBuildFiles {
public:
    bool Move(const std::wstring& from, const std::wstring& to, bool replaceExisting) override {
        const DWORD flags =
            MOVEFILE_WRITE_THROUGH | MOVEFILE_COPY_ALLOWED | (replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
        return ::MoveFileExW(from.c_str(), to.c_str(), flags) != FALSE;
    }
    bool CopyToNew(const std::wstring& from, const std::wstring& to) override {
        if (!::CopyFileW(from.c_str(), to.c_str(), TRUE)) return false;
        // The copy then holds the program's name: on the disk before the
        // restarted build deletes the original.
        const CHandle copy(::CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                         nullptr));
        if (copy) ::FlushFileBuffers(copy.get());
        return true;
    }
    void Pause(uint32_t milliseconds) override { ::Sleep(milliseconds); }
};

// Puts the downloaded build in place of the running one. Either the new build
// ends up under the executable's name, or the running build is back under its
// own (the download stays as "Quillmoor.exe.tmp"): the player is never left
// without a program to start.
bool SwapInDownloadedBuild(const std::wstring& modulePath, const std::wstring& exeFileName) {
    CDiskBuildFiles disk;
    return SwapInBuild(disk, BuildSwapNames{modulePath, kDownloadedBuild, kReplacedBuild, exeFileName});
}

}  // namespace

void RemoveReplacedBuild(bool relaunched) {
    bool removed = ::DeleteFileW(kReplacedBuild) != FALSE;
    for (int attempt = 0; !removed && relaunched && attempt < kOldBuildRetries; ++attempt) {
        ::Sleep(kOldBuildRetryPauseMs);
        removed = ::DeleteFileW(kReplacedBuild) != FALSE;
    }
}

CSelfUpdate::CSelfUpdate(UpdateSettings settings, DownloadProgress progress)
    : m_settings(std::move(settings)), m_progress(std::move(progress)) {}

CSelfUpdate::~CSelfUpdate() {
    if (m_hWorker) ::WaitForSingleObject(m_hWorker.get(), INFINITE);
}

bool CSelfUpdate::Start() {
    if (m_hWorker) return false;
    m_hWorker.reset(reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, WorkerMain, this, 0, nullptr)));
    return static_cast<bool>(m_hWorker);
}

UpdateOutcome CSelfUpdate::Finish() {
    if (!m_hWorker || ::WaitForSingleObject(m_hWorker.get(), INFINITE) != WAIT_OBJECT_0) return UpdateOutcome::kFailed;
    if (m_workerOutcome != UpdateOutcome::kInstalled) return m_workerOutcome;
    return SwapInDownloadedBuild(m_settings.modulePath, m_settings.exeFileName) ? UpdateOutcome::kInstalled
                                                                                : UpdateOutcome::kFailed;
}

unsigned __stdcall CSelfUpdate::WorkerMain(void* self) {
    auto* update = static_cast<CSelfUpdate*>(self);
    try {
        update->m_workerOutcome = update->CheckAndDownload();
    } catch (...) {
        // Out of memory somewhere on the way: nothing was installed.
        update->m_workerOutcome = UpdateOutcome::kFailed;
    }
    return 0;
}

UpdateOutcome CSelfUpdate::CheckAndDownload() {
    // Every file of the check shares one deadline: a silent or crawling
    // update host holds the start for kUpdateCheckTimeLimitMs at most.
    const CDownloadDeadline checkDeadline(kUpdateCheckTimeLimitMs);
    const std::wstring versionUrl = UpdateFileUrl(m_settings.updateBase, kVersionFileName);
    char text[kVersionFileCapacity + 1] = {};
    if (versionUrl.empty() || DownloadToBuffer(versionUrl.c_str(), text, kVersionFileCapacity, checkDeadline) == 0) {
        return UpdateOutcome::kNoUpdate;
    }

    const AnnouncedBuild announced{GetVersionValue(text, "version"), GetVersionValue(text, "exe"),
                                   GetVersionValue(text, "md5")};
    const AnnouncedVersion version = JudgeAnnouncedVersion(m_settings, WidenAnsi(announced.version));
    if (version == AnnouncedVersion::kNoUpdate) return UpdateOutcome::kNoUpdate;
    const std::wstring buildUrl = UpdateFileUrl(m_settings.updateBase, WidenAnsi(announced.exe));
    return OutcomeOf(DownloadAnnouncedBuild(m_settings, version, buildUrl, announced, checkDeadline, m_progress));
}
