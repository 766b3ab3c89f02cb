#include "server/HttpReply.h"

#include <gtest/gtest.h>

#include "common/OutBuf.h"

namespace {

TEST(HttpReply, DatesAreUtcWithEnglishNames) {
    EXPECT_EQ(FormatHttpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(FormatHttpDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(FormatHttpDate(951782400), "Tue, 29 Feb 2000 00:00:00 GMT");
    EXPECT_EQ(FormatHttpDate(2147483647), "Tue, 19 Jan 2038 03:14:07 GMT");
    EXPECT_EQ(FormatHttpDate(1798761599), "Thu, 31 Dec 2026 23:59:59 GMT");
    EXPECT_EQ(FormatHttpDate(4102444800), "Fri, 01 Jan 2100 00:00:00 GMT");
}

TEST(HttpReply, StatusAndBodyFollowTheAssetOutcome) {
    struct Case { AssetOutcome outcome; const char* status; bool body; };
    for (const Case& c : {Case{{AssetSource::kCache, 0, 0}, "200 OK", true},
                          Case{{AssetSource::kFetched, 200, 0}, "200 OK", true},
                          Case{{AssetSource::kPassedOn, 200, 0}, "200 OK", true},
                          Case{{AssetSource::kCdnError, 404, 0}, "404 Not Found", true},
                          Case{{AssetSource::kCdnError, 500, 0}, "502 Bad Gateway", true},
                          Case{{AssetSource::kCdnError, 301, 0}, "502 Bad Gateway", true},
                          Case{{AssetSource::kNoReply, 200, 3}, "502 Bad Gateway", false},
                          Case{{AssetSource::kNoReply, 0, 4}, "502 Bad Gateway", false},
                          Case{{AssetSource::kRefusedTarget, 0, 0}, "400 Bad Request", false}}) {
        EXPECT_STREQ(StatusForAsset(c.outcome), c.status);
        EXPECT_EQ(SendsBodyOf(c.outcome), c.body) << c.status;
    }
}

TEST(HttpReply, HeaderBytesAreExact) {
    COutBuf out;
    ASSERT_TRUE(AppendReplyHeader(out, "200 OK", "Sun, 06 Nov 1994 08:49:37 GMT", 1234, true, "image/png"));
    EXPECT_EQ(std::string(out.GetData(), static_cast<size_t>(out.GetLength())),
              "HTTP/1.0 200 OK\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\nServer: KelvadroWebServer/0.1b\r\n"
              "Accept-Ranges: bytes\r\nContent-Length: 1234\r\nConnection: Keep-Alive\r\n"
              "Content-Type: image/png\r\n\r\n");
    COutBuf closed;
    ASSERT_TRUE(AppendReplyHeader(closed, "502 Bad Gateway", "d", 0, false, "text/html"));
    EXPECT_NE(std::string(closed.GetString()).find("\r\nContent-Length: 0\r\nConnection: close\r\n"), std::string::npos);
}

}  // namespace
