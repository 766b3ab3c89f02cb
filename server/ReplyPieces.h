// Which bytes of a reply go out next. A reply is its head and then its body;
// of the body, the bytes at hand lie in a window (all of it when it is in
// memory, the piece last read when it comes from a file). No Windows header.
#pragma once

#include <cstdint>
#include <string_view>

struct ByteSpan {
    const char* data = nullptr;
    uint32_t length = 0;
};

// Up to two spans that go out together: the rest of the head, then body
// bytes from the window.
struct SendSpans {
    ByteSpan spans[2];
    int count = 0;
    uint64_t Total() const;
};

// Body bytes at hand: the body's bytes [start, start + length) at data.
struct BodyWindow {
    uint64_t start = 0;
    const char* data = nullptr;
    uint64_t length = 0;
    bool Covers(uint64_t bodyOffset) const { return bodyOffset >= start && bodyOffset < start + length; }
};

// Where the body stands once sent bytes of the reply have gone out.
uint64_t BodyOffset(uint64_t headLength, uint64_t sent);

// The next bytes to send once sent bytes have gone out: what is left of the
// head, then the window's bytes from the body offset on, together at most
// maxBytes. None when the head is out and the window does not cover the body
// offset.
SendSpans NextSpans(std::string_view head, uint64_t sent, const BodyWindow& window, uint32_t maxBytes);

// How many bytes to read into a piece of pieceSize bytes for the body offset,
// when the body's first `available` bytes can be read: 0 when none is there.
uint32_t PieceToRead(uint64_t bodyOffset, uint64_t available, uint32_t pieceSize);
