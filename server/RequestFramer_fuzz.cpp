// The request framing of the asset server on arbitrary bytes: the same
// requests come out whatever pieces the bytes arrive in, each is a whole head
// within the bound, and nothing pending outgrows the bound.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "server/HttpRequest.h"
#include "server/RequestFramer.h"

namespace {

struct Framed {
    std::vector<std::string> requests;
    bool overlong = false;
    bool closing = false;
};

Framed Frame(std::string_view bytes, size_t piece) {
    CRequestFramer framer(IsHttpRequestComplete, HttpBodyFraming);
    Framed framed;
    for (size_t at = 0; at < bytes.size() && !framed.overlong; at += piece) {
        if (!framer.WantsMoreBytes() && !framer.ClosesAfterReply()) break;
        framer.Receive(bytes.substr(at, piece));
        if (framer.PendingLength() > CRequestFramer::kMaxRequestLength + piece) std::abort();
        std::string request;
        for (;;) {
            const CRequestFramer::Next next = framer.TakeRequest(&request);
            if (next == CRequestFramer::Next::kOverlong) framed.overlong = true;
            if (next != CRequestFramer::Next::kRequest) break;
            if (!IsHttpRequestComplete(request) || request.size() > CRequestFramer::kMaxRequestLength) std::abort();
            if (request.find("\r\n\r\n") != request.size() - 4) std::abort();
            framed.requests.push_back(request);
        }
    }
    framed.closing = framer.ClosesAfterReply();
    return framed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t piece = 1 + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const Framed whole = Frame(bytes, bytes.size() + 1);
    const Framed pieces = Frame(bytes, piece);
    if (whole.requests != pieces.requests || whole.closing != pieces.closing) std::abort();
    return 0;
}
