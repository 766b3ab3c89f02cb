// Where the bytes of one reply come from, as a connection sends them: its
// head and body may still be arriving. Each connection owns its source; what
// a source holds of its own is bounded (kMaxHeldBytes), apart from bytes it
// shares with others.
#pragma once

#include <windows.h>

#include <cstdint>

#include "server/ReplyPieces.h"

class CReplySource {
public:
    // A source holds at most this much of its own: a piece read from a file.
    static constexpr uint32_t kMaxHeldBytes = 256 * 1024;

    enum class Next {
        kBytes,   // *spans holds the next bytes
        kDry,     // none yet, more will come: the wake event is set when that may have changed
        kEnd,     // every byte was sent
        kFailed,  // the rest will never come
    };

    virtual ~CReplySource() = default;
    // The reply's bytes from sent on, at most maxBytes. The spans stay valid
    // until the next call.
    virtual Next Peek(uint64_t sent, uint32_t maxBytes, SendSpans* spans) = 0;
    // wake, an auto-reset event, is set whenever a source that said kDry may
    // have more. Called once before the first Peek; wake outlives the source.
    virtual void WakeWith(HANDLE wake) = 0;
};
