// Framing the bytes received on one connection into requests: what is
// pending, what is a whole request, and which bytes are a request's body
// (read and dropped). No Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// How the body behind a request is delimited, as the protocol reads the
// request's head.
struct BodyFraming {
    enum class Kind {
        kNone,         // no body
        kLength,       // exactly `length` bytes follow
        kUnframeable,  // a body whose end cannot be found here: nothing after it can be read as a request
    };
    Kind kind = Kind::kNone;
    uint64_t length = 0;
};

class CRequestFramer {
public:
    // A request whose head is still incomplete after this many bytes ends the
    // connection; so does one whose complete head is longer.
    static constexpr size_t kMaxRequestLength = 65536;
    // Longer bodies are not read: the connection closes after the reply.
    static constexpr uint64_t kMaxBodyLength = 65536;

    // isComplete: true when a text holds a whole request head; it is asked
    // with ever longer prefixes of what is pending, and the shortest accepted
    // prefix is the request. bodyOf: how the body behind that head is framed.
    CRequestFramer(std::function<bool(std::string_view)> isComplete,
                   std::function<BodyFraming(std::string_view)> bodyOf);

    // Takes received bytes. Bytes of a body are dropped at once; once the
    // connection is closing, every byte is.
    void Receive(std::string_view bytes);

    enum class Next {
        kNeedMore,  // no whole request yet
        kRequest,   // *request holds the next request's head
        kOverlong,  // no request fits the bound: the connection must close
    };
    // The next whole request, in the order received.
    Next TakeRequest(std::string* request);

    // True once a request's body could not be framed: that request is still
    // answered, but the connection closes after its reply.
    bool ClosesAfterReply() const { return m_bClosing; }
    // False while the bytes pending fill the bound: the caller stops reading
    // until the pending requests are answered, so a peer that sends faster
    // than it reads holds no more memory than that.
    bool WantsMoreBytes() const { return !m_bClosing && m_strPending.size() < kMaxRequestLength; }
    // Bytes held for requests not yet taken.
    size_t PendingLength() const { return m_strPending.size(); }

private:
    void DropBody(std::string_view* bytes);

    std::function<bool(std::string_view)> m_isComplete;
    std::function<BodyFraming(std::string_view)> m_bodyOf;
    std::string m_strPending;
    size_t m_nScanned = 0;      // no prefix of the pending bytes up to this length is complete
    uint64_t m_nBodyLeft = 0;   // body bytes still to drop
    bool m_bClosing = false;
};
