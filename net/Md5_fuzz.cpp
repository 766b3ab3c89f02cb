// MD5 over random splits of one input must give the digest of the whole.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "net/Md5.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte seeds the split sizes; the rest is the message.
    uint32_t seed = data[0] * 2654435761u + 1;
    const uint8_t* message = data + 1;
    const uint32_t length = static_cast<uint32_t>(size - 1);

    Md5Context context;
    Md5Init(&context);
    uint32_t offset = 0;
    while (offset < length) {
        seed = seed * 1103515245u + 12345u;
        uint32_t piece = (seed >> 16) % 131;
        if (piece > length - offset) piece = length - offset;
        Md5Update(&context, message + offset, piece);
        offset += piece;
    }
    uint8_t digest[16];
    Md5Final(&context, digest);
    const std::string text = Md5DigestText(digest);
    if (Md5HexDigest(message, length) != text) std::abort();
    if (!Md5HexMatches(text.c_str(), message, length)) std::abort();
    return 0;
}
