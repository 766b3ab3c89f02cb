#include "server/ReplyPieces.h"

#include <algorithm>

uint64_t SendSpans::Total() const {
    uint64_t total = 0;
    for (int i = 0; i < count; ++i) total += spans[i].length;
    return total;
}

uint64_t BodyOffset(uint64_t headLength, uint64_t sent) { return sent > headLength ? sent - headLength : 0; }

SendSpans NextSpans(std::string_view head, uint64_t sent, const BodyWindow& window, uint32_t maxBytes) {
    SendSpans next;
    uint32_t room = maxBytes;
    if (sent < head.size()) {
        const auto piece = static_cast<uint32_t>(std::min<uint64_t>(head.size() - sent, room));
        next.spans[next.count++] = {head.data() + sent, piece};
        room -= piece;
    }
    const uint64_t offset = BodyOffset(head.size(), sent);
    if (room > 0 && window.Covers(offset)) {
        const uint64_t inWindow = offset - window.start;
        const auto piece = static_cast<uint32_t>(std::min<uint64_t>(window.length - inWindow, room));
        next.spans[next.count++] = {window.data + inWindow, piece};
    }
    return next;
}

uint32_t PieceToRead(uint64_t bodyOffset, uint64_t available, uint32_t pieceSize) {
    if (bodyOffset >= available) return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(available - bodyOffset, pieceSize));
}
