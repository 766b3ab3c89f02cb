#include "server/ReplyPieces.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Bytes(const SendSpans& spans) {
    std::string bytes;
    for (int i = 0; i < spans.count; ++i) bytes.append(spans.spans[i].data, spans.spans[i].length);
    return bytes;
}

// Sending a reply piece by piece from wherever it stands gives its head and
// body exactly once, in order, whatever the bound per send.
TEST(ReplyPieces, AReplyGoesOutWholeInOrderWhateverTheBoundPerSend) {
    const std::string head = "HEAD\r\n\r\n";
    const std::string body = "0123456789abcdef";
    const BodyWindow whole{0, body.data(), body.size()};
    for (uint32_t bound : {1u, 3u, 8u, 9u, 100u}) {
        std::string sent;
        for (SendSpans next; (next = NextSpans(head, sent.size(), whole, bound)).count > 0;) {
            EXPECT_LE(next.Total(), bound);
            sent += Bytes(next);
        }
        EXPECT_EQ(sent, head + body) << bound;
    }
}

// A body read in pieces: only the piece at hand goes out, and the piece to
// read next starts where the sending stands and stops at what is readable.
TEST(ReplyPieces, OnlyTheWindowAtHandIsSentAndTheNextPieceStartsWhereSendingStands) {
    const std::string head = "H:";
    const std::string piece = "4567";
    const BodyWindow window{4, piece.data(), piece.size()};
    EXPECT_EQ(Bytes(NextSpans(head, 0, window, 100)), "H:");  // body offset 0 lies before the window
    EXPECT_EQ(Bytes(NextSpans(head, 2 + 5, window, 100)), "567");
    EXPECT_EQ(NextSpans(head, 2 + 8, window, 100).count, 0);
    EXPECT_EQ(BodyOffset(2, 1), 0u);
    EXPECT_EQ(BodyOffset(2, 7), 5u);

    EXPECT_EQ(PieceToRead(8, 20, 5), 5u);
    EXPECT_EQ(PieceToRead(18, 20, 5), 2u);
    EXPECT_EQ(PieceToRead(20, 20, 5), 0u);  // all that was written has been sent: wait for more
    EXPECT_EQ(PieceToRead(0, 0, 5), 0u);
}

}  // namespace
