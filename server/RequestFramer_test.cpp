#include "server/RequestFramer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/HttpRequest.h"

namespace {

CRequestFramer HttpFramer() { return CRequestFramer(IsHttpRequestComplete, HttpBodyFraming); }

// Every request the framer gives for the bytes, received in pieces of `piece`.
std::vector<std::string> Frame(CRequestFramer& framer, const std::string& bytes, size_t piece) {
    std::vector<std::string> requests;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        framer.Receive(std::string_view(bytes).substr(at, piece));
        std::string request;
        while (framer.TakeRequest(&request) == CRequestFramer::Next::kRequest) requests.push_back(request);
    }
    return requests;
}

TEST(RequestFramer, BodiesAreDroppedAndTheNextRequestIsReadWholeHoweverTheBytesArrive) {
    const std::string post = "POST /x HTTP/1.1\r\nContent-Length: 11\r\n\r\n";
    const std::string get = "GET /y HTTP/1.1\r\n\r\n";
    const std::string bytes = post + "GET /z x\r\n\r" + get + get;
    for (size_t piece : {size_t(1), size_t(3), size_t(40), bytes.size()}) {
        CRequestFramer framer = HttpFramer();
        EXPECT_EQ(Frame(framer, bytes, piece), (std::vector<std::string>{post, get, get})) << piece;
        EXPECT_FALSE(framer.ClosesAfterReply());
        EXPECT_EQ(framer.PendingLength(), 0u);
    }
}

TEST(RequestFramer, AnUnframeableBodyEndsReadingAfterItsRequest) {
    const std::string get = "GET /y HTTP/1.1\r\n\r\n";
    for (const std::string head : {"POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
                                   "POST /x HTTP/1.1\r\nContent-Length: 65537\r\n\r\n",
                                   "POST /x HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n"}) {
        CRequestFramer framer = HttpFramer();
        EXPECT_EQ(Frame(framer, head + "5\r\nhello\r\n0\r\n\r\n" + get, 7), std::vector<std::string>{head}) << head;
        EXPECT_TRUE(framer.ClosesAfterReply());
        EXPECT_FALSE(framer.WantsMoreBytes());
        framer.Receive(get);
        EXPECT_EQ(framer.PendingLength(), 0u);
    }
    // A body of exactly the bound is read and dropped.
    CRequestFramer framer = HttpFramer();
    const std::string post = "POST /x HTTP/1.1\r\nContent-Length: 65536\r\n\r\n";
    EXPECT_EQ(Frame(framer, post + std::string(65536, 'b') + get, 4096), (std::vector<std::string>{post, get}));
}

TEST(RequestFramer, AHeadThatDoesNotEndWithinTheBoundIsOverlong) {
    CRequestFramer framer = HttpFramer();
    std::string request;
    framer.Receive("GET /x HTTP/1.1\r\nX-Filler: " + std::string(65000, 'f'));
    EXPECT_EQ(framer.TakeRequest(&request), CRequestFramer::Next::kNeedMore);
    EXPECT_TRUE(framer.WantsMoreBytes());
    framer.Receive(std::string(600, 'f'));
    EXPECT_FALSE(framer.WantsMoreBytes());
    EXPECT_EQ(framer.TakeRequest(&request), CRequestFramer::Next::kOverlong);

    // Complete, but past the bound.
    CRequestFramer late = HttpFramer();
    late.Receive("GET /x HTTP/1.1\r\nX-Filler: " + std::string(65536, 'f') + "\r\n\r\n");
    EXPECT_EQ(late.TakeRequest(&request), CRequestFramer::Next::kOverlong);
}

TEST(HttpBodyFraming, ReadsContentLengthAndRefusesWhatCannotBeFramed) {
    using Kind = BodyFraming::Kind;
    struct Case { const char* headers; Kind kind; uint64_t length; };
    for (const Case& c : {Case{"Host: a\r\n", Kind::kNone, 0},
                          Case{"content-length:  42 \r\n", Kind::kLength, 42},
                          Case{"Content-Length: 7\r\nContent-Length: 7\r\n", Kind::kLength, 7},
                          Case{"Content-Length: 0\r\n", Kind::kLength, 0},
                          Case{"Content-Length: 7\r\nContent-Length: 8\r\n", Kind::kUnframeable, 0},
                          Case{"Content-Length: -1\r\n", Kind::kUnframeable, 0},
                          Case{"Content-Length: 1e3\r\n", Kind::kUnframeable, 0},
                          Case{"Content-Length: 99999999999999999999\r\n", Kind::kUnframeable, 0},
                          Case{"Content-Length:\r\n", Kind::kUnframeable, 0},
                          Case{"TRANSFER-ENCODING: gzip\r\n", Kind::kUnframeable, 0},
                          Case{"Expect: 100-continue\r\nContent-Length: 9\r\n", Kind::kUnframeable, 0}}) {
        const BodyFraming framing = HttpBodyFraming(std::string("POST / HTTP/1.1\r\n") + c.headers + "\r\n");
        EXPECT_EQ(framing.kind, c.kind) << c.headers;
        EXPECT_EQ(framing.length, c.length) << c.headers;
    }
    EXPECT_EQ(HttpBodyFraming("Content-Length: 5\r\n\r\n").kind, Kind::kNone);  // the request line is no header
}

}  // namespace
