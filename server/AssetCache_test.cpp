#include "server/AssetCache.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "common/OutBuf.h"
#include "net/Download.h"
#include "net/Md5.h"
#include "server/AssetPath.h"
#include "testsupport/BufferContent.h"
#include "testsupport/ScratchDirectory.h"
#include "testsupport/TestOrigin.h"
#include "toolkit/ScopedResource.h"

namespace {

constexpr uint64_t kNoLimit = 1ull << 40;

// Reads all of a file handle's bytes from its start.
bool ReadAll(HANDLE file, uint64_t length, COutBuf& into) {
    char* room = into.AppendRoom(static_cast<int32_t>(length));
    OVERLAPPED at{};
    DWORD read = 0;
    if (!room || (length > 0 && (!::ReadFile(file, room, static_cast<DWORD>(length), &read, &at) || read != length))) {
        return false;
    }
    return into.CommitAppended(static_cast<int32_t>(length));
}

// The asset's outcome once its body is all there, and in body the bytes it
// came with: for a fetch, whatever arrived before it ended.
AssetOutcome LoadWhole(CAssetCache& cache, std::string_view target, COutBuf& body) {
    AssetBody asset = cache.Load(target);
    if (asset.bytes) body.Append(asset.bytes->data(), static_cast<int32_t>(asset.bytes->size()));
    if (asset.file) {
        EXPECT_TRUE(ReadAll(asset.file.get(), asset.fileLength, body));
    }
    if (!asset.fill) return asset.outcome;
    const CHandle wake(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    asset.fill->Watch(wake.get());
    CAssetFill::View view = asset.fill->Look();
    while (view.phase != CAssetFill::Phase::kComplete && view.phase != CAssetFill::Phase::kFailed) {
        ::WaitForSingleObject(wake.get(), 1000);
        view = asset.fill->Look();
    }
    asset.fill->Unwatch(wake.get());
    if (view.memory) {
        body.Append(view.memory->data(), static_cast<int32_t>(view.written));
    } else if (view.written > 0) {
        const CHandle reader = asset.fill->OpenReader();
        EXPECT_TRUE(ReadAll(reader.get(), view.written, body));
    }
    return view.outcome;
}

std::string Body(size_t size, char salt) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>(salt + (i * 31 + i / 4093) % 61);
    return body;
}

// A fresh cache root (ending in a backslash) and an origin standing in for
// the CDN.
class AssetCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = m_dir.string() + "\\";
        m_origin = std::make_unique<CTestOrigin>();
    }

    // A cache in m_root fetching from the origin, opened anew for each load.
    AssetOutcome Load(std::string_view target, COutBuf& body) {
        CAssetCache cache(m_origin->Url(), kNoLimit);
        cache.Open(m_root);
        return LoadWhole(cache, target, body);
    }
    std::filesystem::path FileFor(std::string_view target) const { return CacheFilePath(m_root, target); }
    std::string FileContent(std::string_view target) const {
        std::ifstream in(FileFor(target), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    size_t FilesInCache() const {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(m_dir), {}));
    }

    CScratchDirectory m_scratch{"quillmoor_cache_"};
    const std::filesystem::path& m_dir = m_scratch.Path();
    std::string m_root;
    std::unique_ptr<CTestOrigin> m_origin;
};

TEST_F(AssetCacheTest, FirstRequestStoresUnderTheMd5NameAndTheSecondNeedsNoOrigin) {
    m_origin->SetReply("/res/map.png", CTestOrigin::Reply(200, "PNG bytes"));
    COutBuf first;
    const AssetOutcome fetched = Load("/res/map.png", first);
    EXPECT_EQ(fetched.source, AssetSource::kFetched);
    EXPECT_EQ(fetched.httpStatus, 200);
    EXPECT_EQ(Content(first), "PNG bytes");
    EXPECT_EQ(FileFor("/res/map.png").filename().string(), Md5HexDigest("/res/map.png", 12));
    EXPECT_EQ(FileContent("/res/map.png"), "PNG bytes");
    EXPECT_EQ(FilesInCache(), 1u);

    m_origin.reset();  // the CDN is gone
    m_origin = std::make_unique<CTestOrigin>();
    COutBuf second;
    EXPECT_EQ(Load("/res/map.png", second).source, AssetSource::kCache);
    EXPECT_EQ(Content(second), "PNG bytes");
    EXPECT_EQ(m_origin->ConnectionCount(), 0u);
}

TEST_F(AssetCacheTest, QueryTextMakesSeparateAssets) {
    m_origin->SetReply("/a.js?v=1", CTestOrigin::Reply(200, "one"));
    m_origin->SetReply("/a.js?v=2", CTestOrigin::Reply(200, "two"));
    COutBuf one, two;
    Load("/a.js?v=1", one);
    Load("/a.js?v=2", two);
    EXPECT_EQ(FileContent("/a.js?v=1"), "one");
    EXPECT_EQ(FileContent("/a.js?v=2"), "two");
    EXPECT_EQ(m_origin->Targets(), (std::vector<std::string>{"/a.js?v=1", "/a.js?v=2"}));
}

TEST_F(AssetCacheTest, AnEmptyAssetIsStoredAsAnEmptyFile) {
    m_origin->SetReply("/empty.txt", CTestOrigin::Reply(200, ""));
    COutBuf body;
    EXPECT_EQ(Load("/empty.txt", body).source, AssetSource::kFetched);
    ASSERT_TRUE(std::filesystem::exists(FileFor("/empty.txt")));
    EXPECT_EQ(std::filesystem::file_size(FileFor("/empty.txt")), 0u);
    COutBuf again;
    EXPECT_EQ(Load("/empty.txt", again).source, AssetSource::kCache);
    EXPECT_EQ(m_origin->ConnectionCount(), 1u);
}

TEST_F(AssetCacheTest, ErrorPagesAndBrokenDownloadsAreNeverStored) {
    m_origin->SetReply("/404", CTestOrigin::Reply(404, "not found page"));
    m_origin->SetReply("/500", CTestOrigin::Reply(500, "server error page"));
    m_origin->SetReply("/cut", CTestOrigin::CutReply("half", 100));
    m_origin->SetReply("/chunked", CTestOrigin::ChunkedReply("no length"));
    struct Case { const char* target; AssetSource source; int status; int fetch; const char* body; };
    for (const Case& c : {Case{"/404", AssetSource::kCdnError, 404, kFetchComplete, "not found page"},
                          Case{"/500", AssetSource::kCdnError, 500, kFetchComplete, "server error page"},
                          Case{"/cut", AssetSource::kNoReply, 200, kFetchCutShort, "half"},
                          Case{"/chunked", AssetSource::kNoReply, 200, kFetchNoRequest, ""}}) {
        COutBuf body;
        const AssetOutcome outcome = Load(c.target, body);
        EXPECT_EQ(outcome.source, c.source) << c.target;
        EXPECT_EQ(outcome.httpStatus, c.status) << c.target;
        EXPECT_EQ(outcome.fetchResult, c.fetch) << c.target;
        EXPECT_EQ(Content(body), c.body) << c.target;
    }
    EXPECT_EQ(FilesInCache(), 0u);

    // Each later request tries the CDN again.
    COutBuf again;
    Load("/404", again);
    EXPECT_EQ(m_origin->ConnectionCount(), 5u);
}

TEST_F(AssetCacheTest, AnOfflineCdnGivesNoReplyAndStoresNothing) {
    COutBuf body;
    CAssetCache cache("http://127.0.0.1:" + std::to_string(CTestOrigin::ClosedPort()), kNoLimit);
    cache.Open(m_root);
    const AssetOutcome outcome = LoadWhole(cache, "/x.png", body);
    EXPECT_EQ(outcome.source, AssetSource::kNoReply);
    EXPECT_EQ(outcome.fetchResult, kFetchNoRequest);
    EXPECT_TRUE(body.IsEmpty());
    EXPECT_EQ(FilesInCache(), 0u);
}

TEST_F(AssetCacheTest, UnsafeTargetsMakeNoConnectionAtAll) {
    for (const std::string& target : {std::string(""), std::string("x.png"), std::string("@evil.example/x"),
                                     std::string(".evil.example/x"), std::string("/a b"),
                                     std::string("/a\r\nHost: evil.example"), std::string("/tab\there"),
                                     std::string("/del\x7f"), std::string("/nul\0x", 6)}) {
        COutBuf body;
        EXPECT_EQ(Load(target, body).source, AssetSource::kRefusedTarget) << target;
        EXPECT_TRUE(body.IsEmpty());
    }
    EXPECT_EQ(m_origin->ConnectionCount(), 0u);
    EXPECT_EQ(FilesInCache(), 0u);
}

TEST_F(AssetCacheTest, ALeftoverTemporaryFileIsRemovedAtOpenAndNeverServed) {
    const std::string finalPath = CacheFilePath(m_root, "/big.bin");
    std::ofstream(CacheTempFilePath(finalPath, 1, 2, 3), std::ios::binary) << "truncated garbage";
    std::ofstream(m_dir / "desktop.ini") << "not ours";
    m_origin->SetReply("/big.bin", CTestOrigin::Reply(200, "the real asset"));
    COutBuf body;
    EXPECT_EQ(Load("/big.bin", body).source, AssetSource::kFetched);
    EXPECT_EQ(Content(body), "the real asset");
    EXPECT_EQ(FilesInCache(), 2u);  // the asset and desktop.ini
}

// Past its limit the cache keeps the most recently used files, a served one
// counting as used again once an hour has passed, and shrinks to about 90 %.
// The assets are too large to be kept in memory: the files' times, aged here
// behind the cache's back, are all there is.
TEST_F(AssetCacheTest, TrimmingKeepsTheMostRecentlyUsedWithinTheLimit) {
    constexpr size_t kAssetSize = CRecentAssets::kMaxAssetBytes + 64 * 1024;
    constexpr uint64_t kLimit = 5 * kAssetSize;
    CAssetCache cache(m_origin->Url(), kLimit);
    cache.Open(m_root);
    auto load = [&](int index) {
        const std::string target = "/asset.bin?v=" + std::to_string(index);
        m_origin->SetReply(target, CTestOrigin::Reply(200, Body(kAssetSize, static_cast<char>('a' + index))));
        COutBuf body;
        const AssetSource source = LoadWhole(cache, target, body).source;
        cache.TrimIfOverLimit();
        return source;
    };
    auto ageByHours = [&](int index, int hours) {
        const CHandle file(::CreateFileW(FileFor("/asset.bin?v=" + std::to_string(index)).c_str(),
                                         FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        FILETIME time;
        ::GetSystemTimeAsFileTime(&time);
        ULARGE_INTEGER ticks{{time.dwLowDateTime, time.dwHighDateTime}};
        ticks.QuadPart -= static_cast<uint64_t>(hours) * 36000000000ull;
        time = {ticks.LowPart, ticks.HighPart};
        ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &time));
    };
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(load(i), AssetSource::kFetched);
        ageByHours(i, 10 - i);  // the earlier, the older
    }
    ASSERT_EQ(load(0), AssetSource::kCache);  // used again: now the most recent of the five
    for (int i = 5; i < 8; ++i) ASSERT_EQ(load(i), AssetSource::kFetched);

    uint64_t total = 0;
    for (const auto& file : std::filesystem::directory_iterator(m_dir)) total += file.file_size();
    EXPECT_LE(total, kLimit);
    auto stored = [&](int index) { return std::filesystem::exists(FileFor("/asset.bin?v=" + std::to_string(index))); };
    for (int kept : {0, 5, 6, 7}) EXPECT_TRUE(stored(kept)) << kept;
    for (int gone : {1, 2, 3, 4}) EXPECT_FALSE(stored(gone)) << gone;
    EXPECT_EQ(cache.StoredBytes(), total);

    // A cache opened over its limit is trimmed at once.
    CAssetCache smaller(m_origin->Url(), 2 * kAssetSize);
    smaller.Open(m_root);
    EXPECT_LE(smaller.StoredBytes(), 2 * kAssetSize);
    EXPECT_TRUE(stored(7));

    // Closed for the exit, it still serves but stores nothing more.
    EXPECT_TRUE(smaller.CloseForExit(1000));
    m_origin->SetReply("/late", CTestOrigin::Reply(200, "late"));
    COutBuf body;
    EXPECT_EQ(LoadWhole(smaller, "/late", body).source, AssetSource::kFetched);
    EXPECT_EQ(Content(body), "late");
    EXPECT_FALSE(std::filesystem::exists(FileFor("/late")));
}

// Assets small enough to be kept in memory: one the disk cache trims away
// leaves memory too, and is fetched again.
TEST_F(AssetCacheTest, AnAssetTrimmedFromTheDiskIsNotServedFromMemory) {
    CAssetCache cache(m_origin->Url(), 100 * 1024);
    cache.Open(m_root);
    auto targetOf = [](int index) {
        std::string target = "/small.bin?v=";
        target += std::to_string(index);
        return target;
    };
    auto load = [&](int index) {
        const std::string target = targetOf(index);
        m_origin->SetReply(target, CTestOrigin::Reply(200, Body(20 * 1024, static_cast<char>('a' + index))));
        COutBuf body;
        const AssetSource source = LoadWhole(cache, target, body).source;
        cache.TrimIfOverLimit();
        return source;
    };
    for (int i = 0; i < 8; ++i) ASSERT_EQ(load(i), AssetSource::kFetched);
    int trimmed = 0;
    for (int i = 0; i < 8; ++i) {
        if (std::filesystem::exists(FileFor(targetOf(i)))) continue;
        ++trimmed;
        EXPECT_EQ(load(i), AssetSource::kFetched) << i;
    }
    EXPECT_GT(trimmed, 0);
}

TEST_F(AssetCacheTest, ConcurrentMissesLeaveOneCompleteFile) {
    const std::string asset = Body(4 << 20, 'A');
    m_origin->SetReply("/shared.bin", CTestOrigin::Reply(200, asset));
    AssetOutcome outcomes[4];
    std::vector<std::thread> threads;
    for (AssetOutcome& outcome : outcomes) {
        threads.emplace_back([&] {
            COutBuf body;
            outcome = Load("/shared.bin", body);
            if (Content(body) != asset) outcome.httpStatus = -1;
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const AssetOutcome& outcome : outcomes) {
        EXPECT_TRUE(outcome.source == AssetSource::kFetched || outcome.source == AssetSource::kCache);
        EXPECT_NE(outcome.httpStatus, -1) << "a thread was served a different body";
    }
    EXPECT_EQ(FileContent("/shared.bin"), asset);
    EXPECT_EQ(FilesInCache(), 1u);  // no temporary file left behind
}

TEST(MakeDirectories, CreatesTheWholeChain) {
    const std::filesystem::path base = std::filesystem::temp_directory_path() / "quillmoor_mkdirs";
    std::filesystem::remove_all(base);
    const std::string root = base.string() + "\\vt_cdn\\cdn\\";
    EXPECT_EQ(MakeDirectories(""), 0);
    EXPECT_EQ(MakeDirectories(nullptr), 0);
    EXPECT_EQ(MakeDirectories(root.c_str()), -1);  // the last attempt finds it there
    EXPECT_TRUE(std::filesystem::is_directory(base / "vt_cdn" / "cdn"));
    EXPECT_EQ(MakeDirectories((base.string() + "/mixed/seps").c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_directory(base / "mixed" / "seps"));

    std::ofstream((base / "file").string()) << "x";
    EXPECT_EQ(MakeDirectories((base.string() + "\\file\\sub\\").c_str()), -1);
    std::filesystem::remove_all(base);
}

// Starts this executable as a child that loads one large asset, and kills it
// as soon as any file appears in the cache: whatever then stands under the
// final name must be the complete asset, never a part of it.
TEST_F(AssetCacheTest, AProcessKilledWhileStoringLeavesNoPartialAsset) {
    const std::string asset = Body(48 << 20, 'k');
    m_origin->SetReply("/huge.bin", CTestOrigin::Reply(200, asset));
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::string finalPath = CacheFilePath(m_root, "/huge.bin");
    const std::string cdnBase = m_origin->Url();
    int killedMidWrite = 0;
    for (int attempt = 0; attempt < 5 && killedMidWrite == 0; ++attempt) {
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --load-asset \"" + m_dir.wstring() + L"\" " +
                                   std::wstring(cdnBase.begin(), cdnBase.end()) + L" /huge.bin";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                     &startup, &process));
        CHandle processHandle(process.hProcess), threadHandle(process.hThread);
        while (::WaitForSingleObject(processHandle.get(), 0) == WAIT_TIMEOUT) {
            if (FilesInCache() > 0) {
                ::TerminateProcess(processHandle.get(), 9);
                break;
            }
            ::Sleep(1);
        }
        ::WaitForSingleObject(processHandle.get(), INFINITE);
        DWORD code = 0;
        ::GetExitCodeProcess(processHandle.get(), &code);
        if (code == 9) ++killedMidWrite;
        if (std::filesystem::exists(finalPath)) {
            EXPECT_EQ(std::filesystem::file_size(finalPath), asset.size());
            EXPECT_TRUE(FileContent("/huge.bin") == asset);
        }
    }
    EXPECT_GT(killedMidWrite, 0) << "the child was never caught while writing";

    // The leftover temporary file is removed and not served; the asset is
    // fetched again.
    COutBuf body;
    EXPECT_EQ(Load("/huge.bin", body).source, AssetSource::kFetched);
    EXPECT_TRUE(Content(body) == asset);
    EXPECT_EQ(FilesInCache(), 1u);
}

}  // namespace

// "--load-asset <cache dir> <cdn base> <target>" makes this executable the
// child of the kill test; otherwise it runs the tests.
int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--load-asset") {
        COutBuf body;
        CAssetCache cache(argv[3], kNoLimit);
        cache.Open(std::string(argv[2]) + "\\");
        const AssetOutcome outcome = LoadWhole(cache, argv[4], body);
        return outcome.source == AssetSource::kFetched ? 0 : 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
