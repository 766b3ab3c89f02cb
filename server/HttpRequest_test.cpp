#include "server/HttpRequest.h"

#include <gtest/gtest.h>

#include "server/ContentTypes.h"

namespace {

TEST(HttpRequest, CompleteOnlyWhenTheTextEndsWithABlankLine) {
    EXPECT_TRUE(IsHttpRequestComplete("GET / HTTP/1.0\r\n\r\n"));
    EXPECT_TRUE(IsHttpRequestComplete("\r\n\r\n"));
    for (const char* incomplete : {"", "G", "GE", "GET", "\r\n\r", "GET / HTTP/1.0\r\n", "GET / HTTP/1.0\n\n",
                                   "GET / HTTP/1.0\r\n\r\nbody"}) {
        EXPECT_FALSE(IsHttpRequestComplete(incomplete)) << incomplete;
    }
}

TEST(HttpRequest, MethodTargetAndKeepAlive) {
    HttpRequestLine request;
    ASSERT_TRUE(ParseHttpRequest("GET /a/b.PNG?v=1 HTTP/1.1\r\nConnection: Keep-Alive\r\n\r\n", &request));
    EXPECT_TRUE(request.isGet);
    EXPECT_EQ(request.target, "/a/b.PNG?v=1");
    EXPECT_TRUE(request.asksKeepAlive);

    ASSERT_TRUE(ParseHttpRequest("GET /x\r\n\r\n", &request));
    EXPECT_EQ(request.target, "/x");
    ASSERT_TRUE(ParseHttpRequest("GET /x\n\n", &request));
    EXPECT_EQ(request.target, "/x");
    ASSERT_TRUE(ParseHttpRequest("GET ", &request));
    EXPECT_EQ(request.target, "");
    ASSERT_TRUE(ParseHttpRequest("GET  /x HTTP/1.0\r\n\r\n", &request));  // two blanks: an empty target
    EXPECT_EQ(request.target, "");

    for (const char* other : {"get /x HTTP/1.0\r\n\r\n", "POST /x HTTP/1.0\r\n\r\n", "GETX /x\r\n\r\n", " /x\r\n\r\n"}) {
        ASSERT_TRUE(ParseHttpRequest(other, &request)) << other;
        EXPECT_FALSE(request.isGet) << other;
    }
    EXPECT_FALSE(ParseHttpRequest("GET/x\r\n\r\n", &request));
    EXPECT_FALSE(ParseHttpRequest("\r\n\r\n", &request));
}

// Header names and connection tokens in any letter case, on any header line,
// among other tokens; the request line and other headers never count.
TEST(HttpRequest, ConnectionTokensInAnyLetterCase) {
    struct Case { const char* headers; bool keepAlive; bool close; };
    for (const Case& c : {Case{"Connection: keep-alive\r\n", true, false},
                          Case{"CONNECTION: KEEP-ALIVE\r\n", true, false},
                          Case{"Host: x\r\nconnection:Keep-Alive \r\nAccept: */*\r\n", true, false},
                          Case{"Connection: Upgrade,\tkeep-alive\r\n", true, false},
                          Case{"Connection: close\r\n", false, true},
                          Case{"Connection: CLOSE\n", false, true},
                          Case{"Connection: keep-alive, close\r\n", true, true},
                          Case{"Connection: Keep-Alive-ish\r\n", false, false},
                          Case{"X-Connection: keep-alive\r\n", false, false},
                          Case{"Keep-Alive: timeout=5\r\n", false, false},
                          Case{"", false, false}}) {
        HttpRequestLine request;
        ASSERT_TRUE(ParseHttpRequest(std::string("GET /x HTTP/1.1\r\n") + c.headers + "\r\n", &request));
        EXPECT_EQ(request.asksKeepAlive, c.keepAlive) << c.headers;
        EXPECT_EQ(request.asksClose, c.close) << c.headers;
    }
    HttpRequestLine request;
    ASSERT_TRUE(ParseHttpRequest("GET /Connection:keep-alive HTTP/1.1\r\n\r\n", &request));
    EXPECT_FALSE(request.asksKeepAlive);
}

TEST(HttpRequest, ExtensionIsEverythingAfterTheLastDotInSmallLetters) {
    EXPECT_EQ(TargetExtension("/a/b.PNG"), "png");
    EXPECT_EQ(TargetExtension("/x.png?v=1.2"), "2");
    EXPECT_EQ(TargetExtension("/x.png?v=3"), "png?v=3");
    EXPECT_EQ(TargetExtension("/dir.old/file"), "old/file");
    EXPECT_EQ(TargetExtension("/"), "");
    EXPECT_EQ(TargetExtension("/x."), "");
}

TEST(ContentTypes, TheTableHas75ExtensionsWithTheirExactTypes) {
    const auto table = MakeContentTypeTable();
    EXPECT_EQ(table.size(), 75u);
    EXPECT_EQ(table.at("xml"), "text/xml; charset=UTF-8");
    for (const char* own : {"asset", "mp", "res"}) EXPECT_EQ(table.at(own), "text/plain; charset=utf-8");
    EXPECT_EQ(table.at("png"), "image/png");
    EXPECT_EQ(table.at("js"), "application/x-javascript");
    EXPECT_EQ(table.at("htm"), "text/html");
    EXPECT_EQ(table.at("mpe"), "video/mpeg");
    EXPECT_EQ(table.at("wcgi"), "wwwserver/isapi");
    EXPECT_EQ(table.at("cert"), "application/x-x509-ca-cert");
    EXPECT_EQ(table.count("PNG"), 0u);
    EXPECT_EQ(table.count("json"), 0u);
}

}  // namespace
