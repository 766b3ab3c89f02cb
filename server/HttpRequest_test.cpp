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

    ASSERT_TRUE(ParseHttpRequest("GET /x HTTP/1.0\r\nconnection: keep-alive\r\n\r\n", &request));
    EXPECT_FALSE(request.asksKeepAlive);
    ASSERT_TRUE(ParseHttpRequest("GET /x HTTP/1.0\r\nConnection: Keep-Alive-ish\r\n\r\n", &request));
    EXPECT_TRUE(request.asksKeepAlive);  // the bytes are there, as the rule says

    for (const char* other : {"get /x HTTP/1.0\r\n\r\n", "POST /x HTTP/1.0\r\n\r\n", "GETX /x\r\n\r\n", " /x\r\n\r\n"}) {
        ASSERT_TRUE(ParseHttpRequest(other, &request)) << other;
        EXPECT_FALSE(request.isGet) << other;
    }
    EXPECT_FALSE(ParseHttpRequest("GET/x\r\n\r\n", &request));
    EXPECT_FALSE(ParseHttpRequest("\r\n\r\n", &request));
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
