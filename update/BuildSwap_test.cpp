#include "update/BuildSwap.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

namespace {

// Files by name. A move to a name in failingMovesTo fails that many times,
// or always for kAlways.
struct CFakeBuildFiles : IBuildFiles {
    static constexpr int kAlways = -1;

    bool Move(const std::wstring& from, const std::wstring& to, bool replaceExisting) override {
        int& failing = failingMovesTo[to];
        if (failing != 0) {
            failing -= failing > 0;
            return false;
        }
        if (!files.contains(from) || (files.contains(to) && !replaceExisting)) return false;
        files.erase(to);
        auto file = files.extract(from);
        file.key() = to;
        files.insert(std::move(file));
        return true;
    }
    bool CopyToNew(const std::wstring& from, const std::wstring& to) override {
        return files.contains(from) && files.emplace(to, files[from]).second;
    }
    void Pause(uint32_t) override { ++pauses; }

    std::map<std::wstring, std::string> files;
    std::map<std::wstring, int> failingMovesTo;
    int pauses = 0;
};

// The executable in its own folder, the current directory elsewhere.
const BuildSwapNames kNames{L"C:\\Games\\Quillmoor.exe", L"Quillmoor.exe.tmp", L"Quillmoor.exe.old",
                            L"Quillmoor.exe"};

CFakeBuildFiles Downloaded() {
    CFakeBuildFiles disk;
    disk.files = {{kNames.running, "old build"}, {kNames.downloaded, "new build"}};
    return disk;
}

TEST(BuildSwap, TheNewBuildTakesTheNameAndAnEarlierReplacedBuildGoes) {
    CFakeBuildFiles disk = Downloaded();
    disk.files[kNames.replaced] = "a build replaced long ago";
    EXPECT_TRUE(SwapInBuild(disk, kNames));
    EXPECT_EQ(disk.files, (std::map<std::wstring, std::string>{{kNames.replaced, "old build"},
                                                               {kNames.installed, "new build"}}));
}

TEST(BuildSwap, NothingMovesWhenTheRunningBuildCannotBeMovedAside) {
    CFakeBuildFiles disk = Downloaded();
    disk.failingMovesTo[kNames.replaced] = CFakeBuildFiles::kAlways;
    const auto before = disk.files;
    EXPECT_FALSE(SwapInBuild(disk, kNames));
    EXPECT_EQ(disk.files, before);
}

TEST(BuildSwap, AFileHoldingTheNameIsKeptAndTheRunningBuildComesBack) {
    // Moved back at once, after failed attempts, or, when every attempt
    // fails, copied back with the replaced build left beside it.
    struct Case { int failedMovesBack; bool copiedBack; };
    for (const Case c : {Case{0, false}, Case{kMoveBackAttempts - 1, false}, Case{CFakeBuildFiles::kAlways, true}}) {
        CFakeBuildFiles disk = Downloaded();
        disk.files[kNames.installed] = "the player's file";
        disk.failingMovesTo[kNames.running] = c.failedMovesBack;
        EXPECT_FALSE(SwapInBuild(disk, kNames));
        std::map<std::wstring, std::string> expected = {
            {kNames.running, "old build"}, {kNames.downloaded, "new build"}, {kNames.installed, "the player's file"}};
        if (c.copiedBack) expected[kNames.replaced] = "old build";
        EXPECT_EQ(disk.files, expected) << c.failedMovesBack;
        EXPECT_EQ(disk.pauses, c.copiedBack ? kMoveBackAttempts - 1 : c.failedMovesBack) << c.failedMovesBack;
    }
}

}  // namespace
