#include "update/BuildSwap.h"

namespace {

// The move back can fail for a moment, while a virus scanner or an indexer
// holds the file the first move has just written; the player must never be
// left without the program under its own name.
void PutRunningBuildBack(IBuildFiles& files, const BuildSwapNames& names) {
    for (int attempt = 0; attempt < kMoveBackAttempts; ++attempt) {
        if (attempt > 0) files.Pause(kMoveBackPauseMs);
        if (files.Move(names.replaced, names.running, false)) return;
    }
    files.CopyToNew(names.replaced, names.running);
}

}  // namespace

bool SwapInBuild(IBuildFiles& files, const BuildSwapNames& names) {
    // "Quillmoor.exe.old" only ever holds a build an earlier update replaced,
    // which this start has tried to delete already.
    if (!files.Move(names.running, names.replaced, true)) return false;
    // When the current directory is not the executable's, a file there may
    // hold the executable's name: it is the player's, never ours to replace.
    if (files.Move(names.downloaded, names.installed, false)) return true;
    PutRunningBuildBack(files, names);
    return false;
}
