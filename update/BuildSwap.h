// Putting a downloaded build in place of the running one, and the way back
// when that fails half-way. No Windows header: the file operations come
// through IBuildFiles, which the self-update gives the disk's.
#pragma once

#include <cstdint>
#include <string>

// The file operations of a swap. Each one is on the disk before it returns.
class IBuildFiles {
public:
    virtual ~IBuildFiles() = default;
    // Renames from as to. A file that already holds to is replaced when
    // replaceExisting, and makes the move fail otherwise.
    virtual bool Move(const std::wstring& from, const std::wstring& to, bool replaceExisting) = 0;
    // Copies from as a new file to; fails when a file already holds to.
    virtual bool CopyToNew(const std::wstring& from, const std::wstring& to) = 0;
    virtual void Pause(uint32_t milliseconds) = 0;
};

// The four names of one swap.
struct BuildSwapNames {
    std::wstring running;     // the running executable's full path
    std::wstring downloaded;  // the new build, whole and checked: "Quillmoor.exe.tmp"
    std::wstring replaced;    // where the running build goes: "Quillmoor.exe.old"
    std::wstring installed;   // the name the new build takes: the executable's, in the current directory
};

// How often the running build's move back is tried in all, and how long
// apart, before it is copied back instead.
inline constexpr int kMoveBackAttempts = 4;
inline constexpr uint32_t kMoveBackPauseMs = 250;

// Moves the running build to replaced (an earlier build still there is
// replaced), then the downloaded one to installed (a file that already holds
// that name is kept, and the swap fails). True when the new build is in
// place. On failure the running build is under its own name again: moved
// back, or else copied back from replaced, which then stays; the downloaded
// build stays too.
bool SwapInBuild(IBuildFiles& files, const BuildSwapNames& names);
