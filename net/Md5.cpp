#include "net/Md5.h"

#include <cstring>

namespace {

// Per-step additive constants: floor(abs(sin(i + 1)) * 2^32).
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Rotation amounts, four per round.
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

constexpr uint32_t RotateLeft(uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

uint32_t LoadLittleEndian(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void StoreLittleEndian(uint32_t value, uint8_t* bytes) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

void Transform(uint32_t state[4], const uint8_t block[64]) {
    uint32_t words[16];
    for (int i = 0; i < 16; ++i) words[i] = LoadLittleEndian(block + 4 * i);

    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int step = 0; step < 64; ++step) {
        const int round = step / 16;
        uint32_t mixed;
        int word;
        switch (round) {
            case 0: mixed = (b & c) | (~b & d); word = step; break;
            case 1: mixed = (d & b) | (~d & c); word = (5 * step + 1) % 16; break;
            case 2: mixed = b ^ c ^ d; word = (3 * step + 5) % 16; break;
            default: mixed = c ^ (b | ~d); word = (7 * step) % 16; break;
        }
        const uint32_t rotated = RotateLeft(a + mixed + kSine[step] + words[word], kShift[round][step % 4]);
        a = d;
        d = c;
        c = b;
        b += rotated;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

}  // namespace

void Md5Init(Md5Context* context) {
    context->state[0] = 0x67452301;
    context->state[1] = 0xefcdab89;
    context->state[2] = 0x98badcfe;
    context->state[3] = 0x10325476;
    context->count[0] = context->count[1] = 0;
}

void Md5Update(Md5Context* context, const void* bytes, uint32_t length) {
    if (length == 0) return;
    const auto* input = static_cast<const uint8_t*>(bytes);
    uint32_t used = (context->count[0] >> 3) & 63;

    const uint32_t lowBits = length << 3;
    context->count[0] += lowBits;
    if (context->count[0] < lowBits) ++context->count[1];
    context->count[1] += length >> 29;

    uint32_t offset = 0;
    if (used > 0) {
        const uint32_t room = 64 - used;
        if (length < room) {
            std::memcpy(context->block + used, input, length);
            return;
        }
        std::memcpy(context->block + used, input, room);
        Transform(context->state, context->block);
        offset = room;
        used = 0;
    }
    for (; length - offset >= 64; offset += 64) Transform(context->state, input + offset);
    if (offset < length) std::memcpy(context->block, input + offset, length - offset);
}

void Md5Final(Md5Context* context, uint8_t digest[16]) {
    uint8_t bitCount[8];
    StoreLittleEndian(context->count[0], bitCount);
    StoreLittleEndian(context->count[1], bitCount + 4);

    // One 0x80 byte, then zeros up to 56 modulo 64, then the bit count.
    static constexpr uint8_t kPadding[64] = {0x80};
    const uint32_t used = (context->count[0] >> 3) & 63;
    const uint32_t padLength = used < 56 ? 56 - used : 120 - used;
    Md5Update(context, kPadding, padLength);
    Md5Update(context, bitCount, 8);

    for (int i = 0; i < 4; ++i) StoreLittleEndian(context->state[i], digest + 4 * i);
    // The context may have held key material; wipe it in a way the optimiser keeps.
    volatile uint8_t* wipe = reinterpret_cast<volatile uint8_t*>(context);
    for (size_t i = 0; i < sizeof *context; ++i) wipe[i] = 0;
}

std::string Md5DigestText(const uint8_t digest[16]) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text(32, '\0');
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = kHex[digest[i] >> 4];
        text[2 * i + 1] = kHex[digest[i] & 15];
    }
    return text;
}

std::string Md5HexDigest(const void* bytes, uint32_t length) {
    Md5Context context;
    Md5Init(&context);
    Md5Update(&context, bytes, length);
    uint8_t digest[16];
    Md5Final(&context, digest);
    return Md5DigestText(digest);
}

bool Md5HexMatches(const char* expected, const void* bytes, uint32_t length) {
    if (!expected) return false;
    const std::string actual = Md5HexDigest(bytes, length);
    if (std::strlen(expected) != actual.size()) return false;
    for (size_t i = 0; i < actual.size(); ++i) {
        char c = expected[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != actual[i]) return false;
    }
    return true;
}
