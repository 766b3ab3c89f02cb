// The self-update: the removal of the previous build, and the check, download
// and swap of a newly announced build. It shows nothing: whoever runs it
// learns of the download's progress through a callback.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "net/Download.h"
#include "toolkit/ScopedResource.h"

// What one self-update needs to know.
struct UpdateSettings {
    std::wstring updateBase;    // the update directory's address, "ver.txt" and the build lie below it
    std::wstring localVersion;  // with a key an update must be newer by its numbers; without, not begin with it
    std::string updateKeyHex;   // the publisher's key, 128 hex digits; empty: the MD5 of "ver.txt" alone
    std::wstring modulePath;    // the running executable, moved away as "Quillmoor.exe.old"
    std::wstring exeFileName;   // the name the new build takes in the current directory
};

// What one self-update came to.
enum class UpdateOutcome {
    kNoUpdate,   // no version file in time, or no other version announced
    kInstalled,  // the new build is in place under the executable's name
    kRefused,    // the build announced is not one to install: not newer, no sound signature, another digest or length
    kFailed,     // the download broke off, or the build could not be put in place
};

// Removes "Quillmoor.exe.old", left by the previous update. After a restart
// the ending process may still hold it: relaunched retries three times, a
// second apart. A file that stays is left for the next start.
void RemoveReplacedBuild(bool relaunched);

// One self-update: the check and the download run on a worker thread of its
// own, the swap on the thread that finishes it.
class CSelfUpdate {
public:
    CSelfUpdate(UpdateSettings settings, DownloadProgress progress);
    // Waits for a worker still running.
    ~CSelfUpdate();
    CSelfUpdate(const CSelfUpdate&) = delete;
    CSelfUpdate& operator=(const CSelfUpdate&) = delete;

    // Starts the worker: it reads "ver.txt" and, when another version is
    // announced, downloads the build into "Quillmoor.exe.tmp" once it has
    // passed every check, telling progress of its bytes on the way. False
    // when it was started before or no thread could be made.
    bool Start();
    // The worker thread, signalled once it has ended; null before Start.
    HANDLE GetWorker() const { return m_hWorker.get(); }
    // Waits for the worker and, when it left a build that passed, puts that
    // build in place of the running one. What happened; kFailed when the
    // worker never ran.
    UpdateOutcome Finish();

private:
    static unsigned __stdcall WorkerMain(void* self);
    // The worker's part. kInstalled here means only that the build passed
    // and waits in "Quillmoor.exe.tmp" for the swap.
    UpdateOutcome CheckAndDownload();

    const UpdateSettings m_settings;
    const DownloadProgress m_progress;
    CHandle m_hWorker;
    // Written by the worker before it ends, read only after its end.
    UpdateOutcome m_workerOutcome = UpdateOutcome::kFailed;
};
