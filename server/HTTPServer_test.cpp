#include "server/HTTPServer.h"

#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <regex>
#include <thread>
#include <vector>

#include "game/CacheClearing.h"
#include "net/Md5.h"
#include "server/RecentAssets.h"
#include "testsupport/ScratchDirectory.h"
#include "testsupport/TestClient.h"
#include "testsupport/TestOrigin.h"

namespace {

constexpr uint64_t kCacheLimit = 64 << 20;

// Records what the notification hooks were told.
class CRecordingServer : public CHTTPServer {
public:
    using CHTTPServer::CHTTPServer;
    std::atomic<int32_t> lastSent{0};
    std::string acceptedAddress;
    uint16_t acceptedPort = 0;

protected:
    void OnAccept(const char* address, uint16_t port) override {
        acceptedAddress = address;
        acceptedPort = port;
    }
    void OnSent(int32_t byteCount) override { lastSent = byteCount; }
};

class HttpServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_origin.SetReply("/a/b.PNG", CTestOrigin::Reply(200, "png bytes"));
        m_origin.SetReply("/mna.html", CTestOrigin::Reply(200, "<p>not implemented</p>"));
        m_origin.SetReply("/x", CTestOrigin::Reply(200, "x body"));
        m_server = std::make_unique<CRecordingServer>(m_origin.Url(), kCacheLimit);
    }
    void TearDown() override {
        m_server->Stop();  // before any part of it is destroyed: its threads call its hooks
        m_server.reset();
    }
    void StartServer() {
        m_port = CTestOrigin::ClosedPort();
        ASSERT_TRUE(m_server->StartServerIn(m_dir.string() + "\\vt_cdn\\cdn\\", m_port));
    }
    // One request on a new connection; the reply and whether the server closed.
    TestReply Ask(const std::string& request, bool* closed = nullptr) {
        CTestClient client(m_port);
        EXPECT_TRUE(client.Send(request));
        TestReply reply;
        EXPECT_TRUE(client.ReadReply(&reply)) << request;
        if (closed) *closed = client.ClosedByServer();
        return reply;
    }
    std::filesystem::path CacheFile(const std::string& target) const {
        return m_dir / "vt_cdn" / "cdn" / Md5HexDigest(target.data(), static_cast<uint32_t>(target.size()));
    }
    // A reply can be read whole before its fetch has stored it.
    bool WaitUntilStored(const std::string& target) const {
        for (int i = 0; i < 200 && !std::filesystem::exists(CacheFile(target)); ++i) ::Sleep(25);
        return std::filesystem::exists(CacheFile(target));
    }
    size_t FilesInCache() const {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(m_dir / "vt_cdn" / "cdn"), {}));
    }
    static std::string Get(const std::string& target, const std::string& headers = "") {
        return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
    }

    CScratchDirectory m_scratch{"quillmoor_server_"};
    const std::filesystem::path& m_dir = m_scratch.Path();
    CTestOrigin m_origin;
    std::unique_ptr<CRecordingServer> m_server;
    uint16_t m_port = 0;
};

TEST_F(HttpServerTest, ReplyHasTheExactHeaderLayout) {
    StartServer();
    const TestReply reply = Ask(Get("/a/b.PNG", "Connection: Keep-Alive\r\n"));
    const std::regex layout(
        "HTTP/1\\.0 200 OK\r\n"
        "Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), [0-9]{2} (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
        "[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} GMT\r\n"
        "Server: KelvadroWebServer/0\\.1b\r\n"
        "Accept-Ranges: bytes\r\n"
        "Content-Length: 9\r\n"
        "Connection: Keep-Alive\r\n"
        "Content-Type: image/png\r\n\r\n");
    EXPECT_TRUE(std::regex_match(reply.head, layout)) << reply.head;
    EXPECT_EQ(reply.body, "png bytes");
}

TEST_F(HttpServerTest, ContentTypeFollowsTheLastDotOfTheTarget) {
    StartServer();
    struct Case { const char* target; const char* type; };
    for (const Case& c : {Case{"/x.png?v=1.2", "text/html"}, Case{"/x.png?v=3", "text/html"},
                          Case{"/dir.old/file", "text/html"}, Case{"/", "text/html"},
                          Case{"/game.JS", "application/x-javascript"}, Case{"/map.asset", "text/plain; charset=utf-8"},
                          Case{"/conf.xml", "text/xml; charset=UTF-8"}, Case{"/a.unknown", "text/html"}}) {
        m_origin.SetReply(c.target, CTestOrigin::Reply(200, "b"));
        EXPECT_EQ(Ask(Get(c.target)).headers.at("Content-Type"), c.type) << c.target;
    }
}

// Keep-alive in any letter case keeps the connection, a request saying
// nothing keeps what was asked before, and "Connection: close" closes.
TEST_F(HttpServerTest, KeepAliveInAnyLetterCaseUntilConnectionClose) {
    StartServer();
    CTestClient client(m_port);
    TestReply reply;
    for (const char* header : {"Connection: keep-alive\r\n", "CONNECTION: KEEP-ALIVE\r\n", ""}) {
        ASSERT_TRUE(client.Send(Get("/x", header)));
        ASSERT_TRUE(client.ReadReply(&reply)) << header;
        EXPECT_EQ(reply.headers.at("Connection"), "Keep-Alive") << header;
        EXPECT_EQ(reply.body, "x body");
    }
    ASSERT_TRUE(client.Send(Get("/x", "Connection: close\r\n")));
    ASSERT_TRUE(client.ReadReply(&reply));
    EXPECT_EQ(reply.headers.at("Connection"), "close");
    EXPECT_EQ(reply.body, "x body");
    EXPECT_TRUE(client.ClosedByServer());

    bool closed = false;
    EXPECT_EQ(Ask(Get("/x"), &closed).headers.at("Connection"), "close");
    EXPECT_TRUE(closed);
}

TEST_F(HttpServerTest, OtherMethodsGetNotImplementedWithThePageOfMna) {
    StartServer();
    for (const char* request : {"POST /x HTTP/1.0\r\n\r\n", "HEAD /x HTTP/1.0\r\n\r\n", "get /x HTTP/1.0\r\n\r\n"}) {
        const TestReply reply = Ask(request);
        EXPECT_EQ(reply.statusLine, "HTTP/1.0 501 Not Implemented") << request;
        EXPECT_EQ(reply.body, "<p>not implemented</p>");
        EXPECT_EQ(reply.headers.at("Content-Type"), "text/html");
    }
}

TEST_F(HttpServerTest, TargetEndsAtTheFirstSpaceCrOrLf) {
    StartServer();
    EXPECT_EQ(Ask("GET /x\r\n\r\n").body, "x body");
    EXPECT_EQ(Ask("GET /x HTTP/1.0\r\nRange: bytes=0-1\r\n\r\n").body, "x body");  // whole body despite Range
    EXPECT_EQ(m_origin.Targets(), (std::vector<std::string>{"/x"}));  // fetched once, then cached
}

TEST_F(HttpServerTest, FailuresAreReportedNotPassedOffAsAssets) {
    StartServer();
    m_origin.SetReply("/404", CTestOrigin::Reply(404, "cdn says no"));
    m_origin.SetReply("/500", CTestOrigin::Reply(500, "cdn broke"));
    m_origin.SetReply("/chunked", CTestOrigin::ChunkedReply("no length"));
    struct Case { std::string request; const char* status; const char* body; };
    for (const Case& c : {Case{Get("/404"), "HTTP/1.0 404 Not Found", "cdn says no"},
                          Case{Get("/500"), "HTTP/1.0 502 Bad Gateway", "cdn broke"},
                          Case{Get("/chunked"), "HTTP/1.0 502 Bad Gateway", ""},
                          Case{Get("x.png"), "HTTP/1.0 400 Bad Request", ""},
                          Case{Get("@evil.example/x"), "HTTP/1.0 400 Bad Request", ""}}) {
        const TestReply reply = Ask(c.request);
        EXPECT_EQ(reply.statusLine, c.status) << c.request;
        EXPECT_EQ(reply.body, c.body) << c.request;
        EXPECT_EQ(reply.headers.size(), 6u);
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir / "vt_cdn" / "cdn" / Md5HexDigest("/404", 4)));
}

TEST_F(HttpServerTest, ATextWithoutASpaceGetsNoReplyAndLosesItsConnection) {
    StartServer();
    CTestClient client(m_port);
    ASSERT_TRUE(client.Send("GETX\r\n\r\n"));
    EXPECT_TRUE(client.ClosedByServer());
}

TEST_F(HttpServerTest, RequestsSplitAcrossReadsAreKept) {
    StartServer();
    CTestClient client(m_port);
    ASSERT_TRUE(client.Send("GET"));  // three bytes: no reply yet
    ASSERT_TRUE(client.SendByteByByte(" /x HTTP/1.0\r\nConnection: Keep-Alive\r\n\r"));
    ASSERT_TRUE(client.Send("\n"));
    TestReply reply;
    ASSERT_TRUE(client.ReadReply(&reply));
    EXPECT_EQ(reply.body, "x body");
    EXPECT_EQ(m_origin.Targets(), (std::vector<std::string>{"/x"}));
}

TEST_F(HttpServerTest, PipelinedRequestsAreAnsweredInOrder) {
    StartServer();
    m_origin.SetReply("/big", CTestOrigin::Reply(200, std::string(5 << 20, 'B')));
    m_origin.SetReply("/small", CTestOrigin::Reply(200, "small"));
    CTestClient client(m_port, 8192);
    const std::string keepAlive = "Connection: Keep-Alive\r\n";
    ASSERT_TRUE(client.Send(Get("/big", keepAlive) + Get("/small", keepAlive) + Get("/x", keepAlive)));
    TestReply big, small, x;
    ASSERT_TRUE(client.ReadReply(&big, 65536));  // a slow reader: the server must wait for room
    ASSERT_TRUE(client.ReadReply(&small));
    ASSERT_TRUE(client.ReadReply(&x));
    EXPECT_TRUE(big.body == std::string(5 << 20, 'B'));
    EXPECT_EQ(small.body, "small");
    EXPECT_EQ(x.body, "x body");
}

TEST_F(HttpServerTest, ALargeReplyReportsItsWholeLengthOnceSent) {
    StartServer();
    m_origin.SetReply("/big", CTestOrigin::Reply(200, std::string(5 << 20, 'L')));
    CTestClient client(m_port, 8192);
    ASSERT_TRUE(client.Send(Get("/big")));
    TestReply reply;
    ASSERT_TRUE(client.ReadReply(&reply, 65536));
    EXPECT_TRUE(client.ClosedByServer());
    EXPECT_EQ(m_server->lastSent.load(), static_cast<int32_t>(reply.head.size() + reply.body.size()));
    EXPECT_EQ(m_server->acceptedAddress, "127.0.0.1");
    EXPECT_EQ(m_server->acceptedPort, htons(client.LocalPort()));
}

// A hit from memory of the largest size kept goes out whole behind its
// header however slowly the peer reads, and the next reply on the connection
// follows it exactly.
TEST_F(HttpServerTest, AHitFromMemoryReachesASlowReaderWhole) {
    StartServer();
    const std::string target = "/kept.bin";
    const std::string asset(CRecentAssets::kMaxAssetBytes, 'M');
    m_origin.SetReply(target, CTestOrigin::Reply(200, asset));
    ASSERT_TRUE(Ask(Get(target)).body == asset);
    ASSERT_TRUE(WaitUntilStored(target));
    // Only the copy in memory can answer now.
    ASSERT_TRUE(std::filesystem::remove(CacheFile(target)));

    CTestClient client(m_port, 8192);
    ASSERT_TRUE(client.Send(Get(target, "Connection: keep-alive\r\n") + Get("/x")));
    TestReply hit, next;
    ASSERT_TRUE(client.ReadReply(&hit, 65536));
    ASSERT_TRUE(client.ReadReply(&next));
    EXPECT_EQ(hit.headers.at("Content-Length"), std::to_string(asset.size()));
    EXPECT_TRUE(hit.body == asset);
    EXPECT_EQ(next.body, "x body");
    EXPECT_EQ(m_origin.Targets(), (std::vector<std::string>{target, "/x"}));
}

TEST_F(HttpServerTest, APeerThatSendsAndClosesAtOnceStillGetsItsReply) {
    StartServer();
    {
        CTestClient client(m_port);
        ASSERT_TRUE(client.Send(Get("/x")));
        client.ShutdownSend();
        TestReply reply;
        ASSERT_TRUE(client.ReadReply(&reply));
        EXPECT_EQ(reply.body, "x body");
    }
    {
        CTestClient gone(m_port);
        ASSERT_TRUE(gone.Send(Get("/x")));
    }  // closed before reading anything
    EXPECT_EQ(Ask(Get("/x")).body, "x body");  // the server goes on
}

TEST_F(HttpServerTest, AnUnfinishedRequestOver64KiBClosesTheConnection) {
    StartServer();
    CTestClient client(m_port);
    const std::string header = "GET /x HTTP/1.0\r\nX-Filler: " + std::string(70000, 'f');
    client.Send(header);  // the server may close before all of it is taken
    EXPECT_TRUE(client.ClosedByServer());
    EXPECT_TRUE(m_origin.Targets().empty());
}

TEST_F(HttpServerTest, AnIdleConnectionIsClosed) {
    m_server->SetIdleTimeout(200);
    StartServer();
    CTestClient quiet(m_port);
    EXPECT_TRUE(quiet.ClosedByServer());
    CTestClient halfway(m_port);
    ASSERT_TRUE(halfway.Send("GET /x HTTP/1.0\r\n"));
    EXPECT_TRUE(halfway.ClosedByServer());
}

// A port taken at the start is taken as soon as it is free; a second Start
// changes nothing.
TEST_F(HttpServerTest, APortTakenAtTheStartIsTakenOnceFree) {
    auto occupant = std::make_unique<CTestOrigin>();  // listens on its own port
    m_port = occupant->Port();
    EXPECT_FALSE(m_server->StartServerIn(m_dir.string() + "\\", m_port));
    EXPECT_FALSE(m_server->IsListening());
    occupant.reset();
    for (int i = 0; i < 100 && !m_server->IsListening(); ++i) ::Sleep(50);  // a hang guard, not a speed
    ASSERT_TRUE(m_server->IsListening());
    EXPECT_EQ(Ask(Get("/x")).body, "x body");
    EXPECT_FALSE(m_server->Start(m_port));
}

// A body announced by Content-Length is read and dropped; one that cannot be
// framed gets its reply, and then the connection closes.
TEST_F(HttpServerTest, RequestBodiesAreConsumedOrEndTheConnection) {
    StartServer();
    const std::string keepAlive = "Connection: Keep-Alive\r\n";
    CTestClient client(m_port);
    TestReply reply;
    ASSERT_TRUE(client.Send("POST /x HTTP/1.1\r\nContent-Length: 20\r\n" + keepAlive + "\r\nGET /y HTTP/1.1\r\n\r\n."));
    ASSERT_TRUE(client.ReadReply(&reply));
    EXPECT_EQ(reply.statusLine, "HTTP/1.0 501 Not Implemented");
    ASSERT_TRUE(client.Send(Get("/x", keepAlive)));
    ASSERT_TRUE(client.ReadReply(&reply));
    EXPECT_EQ(reply.statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(reply.body, "x body");

    for (const std::string& body : {std::string("Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"),
                                    "Content-Length: 70000\r\n\r\n" + std::string(70000, 'b')}) {
        CTestClient unframed(m_port);
        ASSERT_TRUE(unframed.Send("POST /x HTTP/1.1\r\n" + keepAlive + body + Get("/x", keepAlive)));
        ASSERT_TRUE(unframed.ReadReply(&reply));
        EXPECT_EQ(reply.statusLine, "HTTP/1.0 501 Not Implemented");
        EXPECT_TRUE(unframed.ClosedByServer());
    }
    EXPECT_EQ(m_origin.Targets(), (std::vector<std::string>{"/mna.html", "/x"}));
}

// At the connection limit the connection longest without a completed request
// makes room: idle peers cannot lock out a client that is being served.
TEST_F(HttpServerTest, IdlePeersAreClosedToMakeRoom) {
    StartServer();
    std::vector<std::unique_ptr<CTestClient>> idle;
    for (size_t i = 0; i < CGenericServer::kMaxConnections; ++i) idle.push_back(std::make_unique<CTestClient>(m_port));
    CTestClient served(m_port);
    TestReply reply;
    ASSERT_TRUE(served.Send(Get("/x", "Connection: Keep-Alive\r\n")));
    ASSERT_TRUE(served.ReadReply(&reply));
    for (int i = 0; i < 3; ++i) idle.push_back(std::make_unique<CTestClient>(m_port));
    ASSERT_TRUE(served.Send(Get("/x", "Connection: Keep-Alive\r\n")));
    ASSERT_TRUE(served.ReadReply(&reply));
    EXPECT_EQ(reply.body, "x body");
    for (size_t i = 0; i < 4; ++i) EXPECT_TRUE(idle[i]->ClosedByServer()) << i;
}

// Many requests over many connections: the server's threads, handles and
// memory come back to where they were.
TEST_F(HttpServerTest, SoakLeavesNoHandlesOrMemoryBehind) {
    StartServer();
    EXPECT_EQ(Ask(Get("/x")).body, "x body");  // warm the cache and the code paths
    auto handleCount = [] {
        DWORD count = 0;
        ::GetProcessHandleCount(::GetCurrentProcess(), &count);
        return count;
    };
    auto workingSet = [] {
        PROCESS_MEMORY_COUNTERS counters{};
        ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
        return counters.WorkingSetSize;
    };
    // Settles: the reaper closes finished threads within a few periods.
    auto settle = [&](DWORD baseline) {
        for (int i = 0; i < 200 && handleCount() > baseline; ++i) ::Sleep(50);
        return handleCount();
    };
    ::Sleep(300);
    const DWORD handlesBefore = handleCount();
    const size_t memoryBefore = workingSet();

    constexpr int kClients = 4, kConnectionsEach = 25, kRequestsEach = 100;
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&] {
            for (int connection = 0; connection < kConnectionsEach; ++connection) {
                CTestClient client(m_port);
                for (int request = 0; request < kRequestsEach; ++request) {
                    TestReply reply;
                    const bool last = request == kRequestsEach - 1;
                    if (!client.Send(Get("/x", last ? "" : "Connection: Keep-Alive\r\n"))) break;
                    if (client.ReadReply(&reply) && reply.body == "x body") ++answered;
                }
            }
        });
    }
    for (std::thread& client : clients) client.join();
    EXPECT_EQ(answered.load(), kClients * kConnectionsEach * kRequestsEach);
    EXPECT_LE(settle(handlesBefore), handlesBefore + 4);
    EXPECT_LT(workingSet(), memoryBefore + (16u << 20));
}

}  // namespace

namespace {

// A hit from memory needs no file: the copy of a recent small asset serves
// even when its file was removed behind the server's back. The game window's
// clear-cache command, run while such hits are served, empties the directory
// and tells the server, so the next request is fetched and stored again.
TEST_F(HttpServerTest, ClearingTheCacheWhileHitsComeFromMemoryRefetchesAndStoresAgain) {
    StartServer();
    ASSERT_EQ(Ask(Get("/x")).body, "x body");
    const std::filesystem::path cached = CacheFile("/x");
    ASSERT_TRUE(WaitUntilStored("/x"));
    std::filesystem::remove(cached);
    EXPECT_EQ(Ask(Get("/x")).body, "x body");
    EXPECT_EQ(m_origin.Targets().size(), 1u);

    std::atomic<bool> stop{false};
    std::thread load([&] {
        while (!stop) Ask(Get("/x"));
    });
    ::Sleep(100);
    const size_t fetchesBefore = m_origin.Targets().size();
    ClearCacheFiles(m_dir.wstring() + L"\\vt_cdn\\cdn\\");
    m_server->ForgetKeptAssets();  // as the game window's handler does
    stop = true;
    load.join();

    EXPECT_TRUE(std::filesystem::is_directory(m_dir / "vt_cdn" / "cdn"));
    const TestReply again = Ask(Get("/x"));
    EXPECT_EQ(again.statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(again.body, "x body");
    EXPECT_GT(m_origin.Targets().size(), fetchesBefore);
    EXPECT_TRUE(WaitUntilStored("/x"));
}

// Two connections ask for one missing asset at once: one CDN request, and
// both get the whole asset. A fetch that fails before its head is not
// shared: the follower, which has sent nothing yet, fetches anew.
TEST_F(HttpServerTest, ConcurrentMissesOfOneAssetMakeOneCdnRequest) {
    StartServer();
    const std::string asset(3 << 20, 'S');
    m_origin.SetReply("/shared.bin", CTestOrigin::Reply(200, asset));
    m_origin.SetReplyDelay("/shared.bin", 1000);
    m_origin.SetReply("/broken", CTestOrigin::ChunkedReply("no length"));
    m_origin.SetReplyDelay("/broken", 1000);
    for (const char* target : {"/shared.bin", "/broken"}) {
        TestReply replies[2];
        std::vector<std::thread> clients;
        for (TestReply& reply : replies) clients.emplace_back([&] { reply = Ask(Get(target)); });
        for (std::thread& client : clients) client.join();
        for (const TestReply& reply : replies) {
            EXPECT_EQ(reply.statusLine, target == std::string("/broken") ? "HTTP/1.0 502 Bad Gateway"
                                                                         : "HTTP/1.0 200 OK");
            EXPECT_TRUE(reply.body == (target == std::string("/broken") ? "" : asset)) << target;
        }
    }
    const std::vector<std::string> targets = m_origin.Targets();
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "/shared.bin"), 1);
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "/broken"), 2);
}

// A miss the CDN trickles reaches its reader while it arrives, and a second
// request that comes meanwhile streams from the same fetch; both get every
// byte, and the asset is stored once it is whole.
TEST_F(HttpServerTest, ATrickledMissReachesItsReaderAndAFollowerWhileItArrives) {
    StartServer();
    std::string asset(4 << 20, '\0');
    for (size_t i = 0; i < asset.size(); ++i) asset[i] = static_cast<char>(i * 131 + i / 8191);
    m_origin.SetReply("/trickled.bin", CTestOrigin::Reply(200, asset));
    m_origin.SetReplyPace("/trickled.bin", 64 * 1024, 50);  // about 3 s in all

    CTestClient reader(m_port), follower(m_port);
    ASSERT_TRUE(reader.Send(Get("/trickled.bin")));
    ASSERT_TRUE(reader.ReadAtLeast(512 * 1024));
    EXPECT_EQ(m_origin.RepliesSent(), 0u) << "the reader waited for the whole asset";
    ASSERT_TRUE(follower.Send(Get("/trickled.bin")));
    ASSERT_TRUE(follower.ReadAtLeast(512 * 1024));
    EXPECT_EQ(m_origin.RepliesSent(), 0u) << "the follower waited for the whole asset";

    for (CTestClient* client : {&reader, &follower}) {
        TestReply reply;
        ASSERT_TRUE(client->ReadReply(&reply));
        EXPECT_EQ(reply.headers.at("Content-Length"), std::to_string(asset.size()));
        EXPECT_TRUE(reply.body == asset);
    }
    EXPECT_EQ(m_origin.Targets(), (std::vector<std::string>{"/trickled.bin"}));
    EXPECT_TRUE(WaitUntilStored("/trickled.bin"));
}

// A CDN reply cut after its head: the readers got the head with the whole
// length, and their connections close short of it; nothing is stored.
TEST_F(HttpServerTest, ACutMissClosesItsReadersShortAndStoresNothing) {
    StartServer();
    constexpr size_t kAnnounced = 4 << 20;
    m_origin.SetReply("/cut.bin", CTestOrigin::CutReply(std::string(1 << 20, 'c'), kAnnounced));
    m_origin.SetReplyPace("/cut.bin", 64 * 1024, 30);
    CTestClient reader(m_port), follower(m_port);
    ASSERT_TRUE(reader.Send(Get("/cut.bin", "Connection: keep-alive\r\n")));
    ASSERT_TRUE(reader.ReadAtLeast(1));
    ASSERT_TRUE(follower.Send(Get("/cut.bin")));
    for (CTestClient* client : {&reader, &follower}) {
        TestReply reply;
        EXPECT_FALSE(client->ReadReply(&reply));  // the connection closed first
        EXPECT_EQ(reply.statusLine, "HTTP/1.0 200 OK");
        EXPECT_EQ(reply.headers.at("Content-Length"), std::to_string(kAnnounced));
        EXPECT_LE(client->Received().size(), reply.head.size() + (1 << 20));
    }
    for (int i = 0; i < 100 && FilesInCache() > 0; ++i) ::Sleep(20);  // the temporary file goes with its fetch
    EXPECT_EQ(FilesInCache(), 0u);
    EXPECT_EQ(m_origin.Targets(), (std::vector<std::string>{"/cut.bin"}));
}

// A small miss is answered once its first piece came: a CDN reply that ends
// after its head, before any byte of the body, is answered as a failure
// whole, not as a head the body never follows.
TEST_F(HttpServerTest, ASmallMissWhoseBodyNeverComesIsABadGateway) {
    StartServer();
    m_origin.SetReply("/headless.png", CTestOrigin::CutReply("", 4096));
    const TestReply reply = Ask(Get("/headless.png"));
    EXPECT_EQ(reply.statusLine, "HTTP/1.0 502 Bad Gateway");
    EXPECT_EQ(reply.headers.at("Content-Length"), "0");
    EXPECT_FALSE(std::filesystem::exists(CacheFile("/headless.png")));
}

// After its last reply a connection drains what the peer sends for a
// while, and then closes however fast the peer goes on sending.
TEST_F(HttpServerTest, ALingeringConnectionClosesWhileThePeerKeepsSending) {
    StartServer();
    CTestClient client(m_port);
    ASSERT_TRUE(client.Send(Get("/x", "Connection: close\r\n")));
    TestReply reply;
    ASSERT_TRUE(client.ReadReply(&reply));
    const std::string noise(64 * 1024, 'n');
    const ULONGLONG start = ::GetTickCount64();
    bool closed = false;
    while (!closed && ::GetTickCount64() - start < 20000) closed = !client.Send(noise);  // a hang guard
    EXPECT_TRUE(closed);
}

}  // namespace
