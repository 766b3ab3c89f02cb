#include "net/Download.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/OutBuf.h"
#include "net/FetchSession.h"
#include "net/Md5.h"
#include "testsupport/BufferContent.h"
#include "testsupport/TestOrigin.h"

namespace {

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

uint32_t ToBuffer(const std::string& url, char* buffer, uint32_t capacity) {
    return DownloadToBuffer(Wide(url).c_str(), buffer, capacity, CDownloadDeadline(kUpdateCheckTimeLimitMs));
}

std::string Body(size_t size) {
    std::string body;
    for (size_t i = 0; i < size; ++i) body.push_back(static_cast<char>('a' + (i * 7 + i / 13) % 26));
    return body;
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_origin.SetReply("/asset", CTestOrigin::Reply(200, "asset bytes"));
        m_origin.SetReply("/empty", CTestOrigin::Reply(200, ""));
        m_origin.SetReply("/chunked", CTestOrigin::ChunkedReply("chunked body"));
        m_origin.SetReply("/cut", CTestOrigin::CutReply(Body(500), 1000));
        m_origin.SetReply("/missing", CTestOrigin::Reply(404, "not here"));
        m_origin.SetReply("/large", CTestOrigin::Reply(200, Body(1 << 20)));
        m_origin.SetReply("/huge", CTestOrigin::CutReply("x", kMaxFetchBytes + 1));
    }
    std::string Url(const char* target) const { return m_origin.Url(target); }

    CTestOrigin m_origin;
};

TEST_F(DownloadTest, FetchUrlResultCodesFollowTheReply) {
    struct Case { const char* target; int result; int status; std::string body; };
    for (const Case& c : {Case{"/asset", kFetchComplete, 200, "asset bytes"},
                          Case{"/empty", kFetchComplete, 200, ""},
                          Case{"/chunked", kFetchNoRequest, 200, ""},
                          Case{"/cut", kFetchCutShort, 200, Body(500)},
                          Case{"/missing", kFetchComplete, 404, "not here"},
                          Case{"/large", kFetchComplete, 200, Body(1 << 20)},
                          Case{"/huge", kFetchTooLarge, 200, ""}}) {
        COutBuf sink;
        int status = -1;
        EXPECT_EQ(FetchUrl(Url(c.target).c_str(), &sink, &status), c.result) << c.target;
        EXPECT_EQ(status, c.status) << c.target;
        EXPECT_EQ(Content(sink), c.body) << c.target;
    }
}

// The announced length comes from the network: nothing is reserved for it
// up front beyond the piece being read, and a long body still arrives whole.
TEST_F(DownloadTest, FetchUrlReservesNothingForTheAnnouncedLengthAndGrowsFromThere) {
    m_origin.SetReply("/lies", CTestOrigin::CutReply(Body(1000), kMaxFetchBytes));
    COutBuf lied;
    EXPECT_EQ(FetchUrl(Url("/lies").c_str(), &lied), kFetchCutShort);
    EXPECT_EQ(Content(lied), Body(1000));
    EXPECT_LE(static_cast<DWORD>(lied.GetCapacity()), kFetchPiece);

    const std::string body = Body((9 << 20) + 5);
    m_origin.SetReply("/long", CTestOrigin::Reply(200, body));
    COutBuf sink;
    EXPECT_EQ(FetchUrl(Url("/long").c_str(), &sink), kFetchComplete);
    EXPECT_TRUE(Content(sink) == body);
}

TEST_F(DownloadTest, FetchUrlWithoutASinkReadsAndDropsTheBody) {
    EXPECT_EQ(FetchUrl(Url("/large").c_str(), nullptr), kFetchComplete);
    EXPECT_EQ(FetchUrl(Url("/chunked").c_str(), nullptr), kFetchNoRequest);
}

TEST_F(DownloadTest, FetchUrlToARefusedPortCannotOpenTheRequest) {
    const std::string url = "http://127.0.0.1:" + std::to_string(CTestOrigin::ClosedPort()) + "/asset";
    COutBuf sink;
    int status = -1;
    EXPECT_EQ(FetchUrl(url.c_str(), &sink, &status), kFetchNoRequest);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(sink.IsEmpty());
}

TEST_F(DownloadTest, RequestsCarryTheAgentTheHeaderBlockAndNoCachePragma) {
    COutBuf sink;
    ASSERT_EQ(FetchUrl(Url("/asset").c_str(), &sink), kFetchComplete);
    char buffer[64] = {};
    ASSERT_GT(ToBuffer(Url("/asset"), buffer, sizeof buffer), 0u);
    const std::vector<std::string> requests = m_origin.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const std::string& request : requests) {
        EXPECT_EQ(request.rfind("GET /asset HTTP/1.1\r\n", 0), 0u) << request;
        EXPECT_NE(request.find("\r\nAccept: */*\r\n"), std::string::npos) << request;
        EXPECT_NE(request.find("\r\nUser-Agent: Agent"), std::string::npos) << request;
        EXPECT_NE(request.find("\r\nPragma: no-cache\r\n"), std::string::npos) << request;
    }
}

TEST_F(DownloadTest, DownloadToBufferStoresTheBodyAndNeverMoreThanTheCapacity) {
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(ToBuffer(Url("/asset"), buffer, 31), 11u);
    EXPECT_EQ(std::string(buffer, 12), "asset bytes#");

    // The 404 page is content; a chunked reply and an empty body give 0.
    EXPECT_EQ(ToBuffer(Url("/missing"), buffer, 31), 8u);
    EXPECT_EQ(ToBuffer(Url("/chunked"), buffer, 31), 0u);
    EXPECT_EQ(ToBuffer(Url("/empty"), buffer, 31), 0u);

    // Exactly the capacity fits; one byte more is refused whole.
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(ToBuffer(Url("/asset"), buffer, 11), 11u);
    EXPECT_EQ(buffer[11], '#');
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(ToBuffer(Url("/asset"), buffer, 10), 0u);
    EXPECT_EQ(buffer[10], '#');  // nothing written past the capacity given
    EXPECT_EQ(ToBuffer(Url("/large"), buffer, 31), 0u);
}

TEST_F(DownloadTest, DownloadToBufferKeepsWhatArrivedBeforeTheCut) {
    char buffer[2000] = {};
    EXPECT_EQ(ToBuffer(Url("/cut"), buffer, sizeof buffer), 500u);
}

// The asset server's session: connections kept alive and reused, the agent
// fixed when the session opens, and the session opened anew when the
// connection state changes.
TEST(FetchSession, KeepsItsConnectionAndAgentUntilTheConnectionStateChanges) {
    CTestOrigin origin;
    for (const char* target : {"/a", "/b", "/c"}) origin.SetReply(target, CTestOrigin::KeptReply(200, target));
    std::atomic<DWORD> state{INTERNET_CONNECTION_LAN};
    CFetchSession session(128, [&state] { return state.load(); });
    auto fetch = [&](const char* target) {
        COutBuf sink;
        const int result = session.Fetch(origin.Url(target).c_str(), &sink);
        EXPECT_EQ(Content(sink), result == kFetchComplete ? target : "") << target;
        return result;
    };
    auto agentOf = [&](size_t request) {
        const std::string head = origin.Requests().at(request);
        const size_t start = head.find("\r\nUser-Agent: ") + 14;
        return head.substr(start, head.find("\r\n", start) - start);
    };

    EXPECT_EQ(fetch("/a"), kFetchComplete);
    ::Sleep(50);  // a later tick count: a session opened now would have another agent
    EXPECT_EQ(fetch("/b"), kFetchComplete);
    EXPECT_EQ(origin.ConnectionCount(), 1u);
    EXPECT_EQ(agentOf(1), agentOf(0));

    state = INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_PROXY;
    EXPECT_EQ(fetch("/c"), kFetchComplete);
    EXPECT_NE(agentOf(2), agentOf(0));
    EXPECT_EQ(agentOf(2).rfind("Agent", 0), 0u);

    state = INTERNET_CONNECTION_OFFLINE;
    EXPECT_EQ(fetch("/a"), kFetchOffline);
    EXPECT_EQ(origin.Requests().size(), 3u);
}

// The system's state costs milliseconds to read under Wine: it is read
// again only once the last reading is old, so a change shows within that age.
TEST(FetchSession, TheConnectionStateIsReadAgainOnlyOnceTheLastReadingIsOld) {
    ULONGLONG now = 0;
    int reads = 0;
    DWORD state = INTERNET_CONNECTION_LAN;
    const ConnectionStateReader read = ReadAtMostEvery(
        500, [&] { return ++reads, state; }, [&] { return now; });
    EXPECT_EQ(read(), static_cast<DWORD>(INTERNET_CONNECTION_LAN));
    state = INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_PROXY;
    now = 499;
    EXPECT_EQ(read(), static_cast<DWORD>(INTERNET_CONNECTION_LAN));
    EXPECT_EQ(reads, 1);
    now = 500;
    EXPECT_EQ(read(), state);
    EXPECT_EQ(read(), state);
    EXPECT_EQ(reads, 2);
}

// A host may close a kept-alive connection just as the next request goes
// out on it: the request is sent once more, on a new connection.
TEST(FetchSession, AKeptConnectionTheHostDropsIsRetriedOnANewOne) {
    CTestOrigin origin;
    origin.SetReply("/first", CTestOrigin::KeptReply(200, "first"));
    origin.SetReply("/second", CTestOrigin::KeptReply(200, "second"));
    CFetchSession session;
    COutBuf first, second;
    ASSERT_EQ(session.Fetch(origin.Url("/first").c_str(), &first), kFetchComplete);
    origin.ResetKeptConnections();
    EXPECT_EQ(session.Fetch(origin.Url("/second").c_str(), &second), kFetchComplete);
    EXPECT_EQ(Content(second), "second");
    EXPECT_EQ(origin.Targets(), (std::vector<std::string>{"/first", "/second", "/second"}));
    EXPECT_EQ(origin.ConnectionCount(), 2u);
}

// A run begun on one thread ends on another. A body no longer than the
// first read's bound that came whole with it is over after Begin; a longer
// one, or one past the bound, is read on by Continue; a failed request is
// over at once.
TEST_F(DownloadTest, AFetchRunBegunOnOneThreadEndsOnAnother) {
    struct Case { const char* target; uint32_t firstReadUpTo; bool overAfterBegin; int result; std::string body; };
    CFetchSession session;
    for (const Case& c : {Case{"/asset", 1 << 20, true, kFetchComplete, "asset bytes"},
                          Case{"/empty", 1 << 20, true, kFetchComplete, ""},
                          Case{"/asset", 4, false, kFetchComplete, "asset bytes"},
                          Case{"/large", 1 << 20, false, kFetchComplete, Body(1 << 20)},
                          Case{"/cut", 1 << 20, false, kFetchCutShort, Body(500)},
                          Case{"/chunked", 1 << 20, true, kFetchNoRequest, ""}}) {
        COutBuf sink;
        CBufferReceiver receiver(&sink);
        const std::shared_ptr<CFetchRun> run = session.Begin(Url(c.target).c_str(), receiver, c.firstReadUpTo);
        EXPECT_EQ(run->Over(), c.overAfterBegin) << c.target << " " << c.firstReadUpTo;
        std::thread([&] { run->Continue(); }).join();
        EXPECT_EQ(run->Result(), c.result) << c.target;
        EXPECT_EQ(Content(sink), c.body) << c.target;
    }
}

class CheckedDownloadTest : public DownloadTest {
protected:
    void SetUp() override {
        DownloadTest::SetUp();
        m_dir = std::filesystem::temp_directory_path() / "quillmoor_checked_download";
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        m_path = (m_dir / "Quillmoor.exe.tmp").wstring();
        std::ofstream(std::filesystem::path(m_path), std::ios::binary) << "previous";
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::string FileContent() const {
        std::ifstream in(std::filesystem::path(m_path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::filesystem::path m_dir;
    std::wstring m_path;
};

TEST_F(CheckedDownloadTest, AMatchingDigestWritesExactlyTheBodyAndTellsItsProgress) {
    const std::string body = Body(1 << 20);
    std::string digest = Md5HexDigest(body.data(), static_cast<uint32_t>(body.size()));
    for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::vector<std::pair<uint32_t, uint32_t>> told;
    CheckedDownloadOptions options;
    options.expectedLength = static_cast<uint32_t>(body.size());
    options.progress = [&told](uint32_t received, uint32_t total) { told.emplace_back(received, total); };
    ASSERT_EQ(DownloadToFileChecked(Wide(Url("/large")).c_str(), m_path.c_str(), digest.c_str(), options),
              CheckedDownload::kWritten);
    EXPECT_EQ(FileContent(), body);

    // From nothing to the whole body, never back, in more than one piece.
    ASSERT_GT(told.size(), 2u);
    EXPECT_EQ(told.front(), std::make_pair(0u, 1u << 20));
    EXPECT_EQ(told.back(), std::make_pair(1u << 20, 1u << 20));
    for (size_t i = 1; i < told.size(); ++i) {
        EXPECT_GT(told[i].first, told[i - 1].first);
        EXPECT_EQ(told[i].second, 1u << 20);
    }
}

TEST_F(CheckedDownloadTest, AnyFailureLeavesTheFileUntouched) {
    const std::string assetDigest = Md5HexDigest("asset bytes", 11);
    const std::string wrong = Md5HexDigest("other", 5);
    const std::string cutDigest = Md5HexDigest(Body(1000).data(), 1000);
    constexpr auto kRefused = CheckedDownload::kRefused;
    constexpr auto kFailed = CheckedDownload::kFailed;
    struct Case { const char* target; std::string digest; CheckedDownload result; };
    for (const Case& c : {Case{"/asset", wrong, kRefused}, Case{"/asset", "", kRefused},
                          Case{"/asset", assetDigest + " ", kRefused}, Case{"/missing", assetDigest, kRefused},
                          Case{"/cut", cutDigest, kFailed}, Case{"/chunked", assetDigest, kFailed},
                          Case{"/empty", Md5HexDigest("", 0), kFailed}}) {
        EXPECT_EQ(DownloadToFileChecked(Wide(Url(c.target)).c_str(), m_path.c_str(), c.digest.c_str()), c.result)
            << c.target;
        EXPECT_EQ(FileContent(), "previous") << c.target;
    }
}

// A host that announces more than the build expected is refused before
// anything is allocated or read.
TEST_F(CheckedDownloadTest, AnotherLengthThanExpectedIsRefusedUnread) {
    m_origin.SetReply("/huge", "HTTP/1.1 200 OK\r\nContent-Length: 3000000000\r\nConnection: close\r\n\r\nasset bytes");
    const std::string digest = Md5HexDigest("asset bytes", 11);
    bool told = false;
    CheckedDownloadOptions options;
    options.expectedLength = 11;
    options.progress = [&told](uint32_t, uint32_t) { told = true; };
    EXPECT_EQ(DownloadToFileChecked(Wide(Url("/huge")).c_str(), m_path.c_str(), digest.c_str(), options),
              CheckedDownload::kRefused);
    EXPECT_FALSE(told);
    options.expectedLength = 12;
    EXPECT_EQ(DownloadToFileChecked(Wide(Url("/asset")).c_str(), m_path.c_str(), digest.c_str(), options),
              CheckedDownload::kRefused);
    EXPECT_FALSE(told);
    EXPECT_EQ(FileContent(), "previous");
}

TEST_F(CheckedDownloadTest, AFileThatCannotBeCreatedFails) {
    const std::string digest = Md5HexDigest("asset bytes", 11);
    const std::wstring inMissingDir = (m_dir / "no-such-dir" / "file").wstring();
    EXPECT_EQ(DownloadToFileChecked(Wide(Url("/asset")).c_str(), inMissingDir.c_str(), digest.c_str()),
              CheckedDownload::kFailed);
}

// Hosts that accept and then answer never, or a byte at a time. Every
// download ends within its bound anyway; the bounds checked here are guards
// against a hang, the figures go to the output. The cases run side by side.
// The idle bounds these cases set for the build download and the CDN fetch:
// short, as what is checked is that a bound ends the wait, not its length.
constexpr uint32_t kTestIdleLimitMs = 3000;

TEST(DownloadBounds, SilentAndCrawlingHostsEndEveryDownloadWithinItsBound) {
    CStallingHost silent(CStallingHost::Mode::kSilent);
    CStallingHost silentCdn(CStallingHost::Mode::kSilent);
    CStallingHost crawlingHead(CStallingHost::Mode::kCrawlHead);
    CStallingHost crawlingBody(CStallingHost::Mode::kCrawlBody);
    CTestOrigin origin;
    origin.SetReply("/ver.txt", CTestOrigin::Reply(200, "version=1"));
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point since) {
        return std::chrono::duration<double>(Clock::now() - since).count();
    };
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "quillmoor_stalled_build";
    std::ofstream(file) << "previous";

    struct Case { const char* name; double bound; std::function<bool()> run; double took = 0; bool failed = false; };
    std::vector<Case> cases;
    cases.push_back({"update check, silent host", 15, [&] {
        char buffer[256] = {};
        return ToBuffer(silent.Url("/ver.txt"), buffer, 255) == 0;
    }});
    cases.push_back({"update check, crawling head", 15, [&] {
        char buffer[256] = {};
        return ToBuffer(crawlingHead.Url("/ver.txt"), buffer, 255) == 0;
    }});
    // One deadline for the whole check: a second file gets what the first left.
    cases.push_back({"update check, crawling body, then a good file", 15, [&] {
        const CDownloadDeadline deadline(kUpdateCheckTimeLimitMs);
        char buffer[256] = {};
        const bool first = DownloadToBuffer(Wide(crawlingBody.Url("/ver.txt")).c_str(), buffer, 255, deadline) == 0;
        return first && DownloadToBuffer(Wide(origin.Url("/ver.txt")).c_str(), buffer, 255, deadline) == 0 &&
               buffer[0] == 0;
    }});
    cases.push_back({"build download, silent host", 15, [&] {
        CheckedDownloadOptions options;
        options.idleLimitMs = kTestIdleLimitMs;
        return DownloadToFileChecked(Wide(silent.Url("/build.exe")).c_str(), file.c_str(), "0", options) ==
               CheckedDownload::kFailed;
    }});
    // Through a session that kept connections before: a request that met
    // the time-out is not sent again.
    cases.push_back({"CDN fetch, silent host", 15, [&] {
        CFetchSession session(0, {}, kTestIdleLimitMs);
        COutBuf first, sink;
        return session.Fetch(origin.Url("/ver.txt").c_str(), &first) == kFetchComplete &&
               session.Fetch(silentCdn.Url("/asset.png").c_str(), &sink) == kFetchNoRequest && sink.IsEmpty();
    }});

    std::vector<std::thread> threads;
    for (Case& c : cases) {
        threads.emplace_back([&c, &seconds] {
            const Clock::time_point start = Clock::now();
            c.failed = c.run();
            c.took = seconds(start);
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const Case& c : cases) {
        std::printf("  %-46s ended after %5.1f s\n", c.name, c.took);
        EXPECT_TRUE(c.failed) << c.name;
        EXPECT_LT(c.took, c.bound) << c.name;
    }
    EXPECT_EQ(silentCdn.ConnectionCount(), 1u);
    std::ifstream in(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "previous");
    in.close();
    std::filesystem::remove(file);
}

}  // namespace
