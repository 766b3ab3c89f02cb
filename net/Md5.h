// The RFC 1321 MD5 digest and its 32-character lower-case text form.
// No shared state: any number of threads may hash at once. No Windows header.
#pragma once

#include <cstdint>
#include <string>

struct Md5Context {
    uint32_t state[4];   // chaining value A, B, C, D
    uint32_t count[2];   // bits absorbed, modulo 2^64, low word first
    uint8_t block[64];   // the partial block not yet transformed
};

// Sets the RFC 1321 initial state and a zero bit count.
void Md5Init(Md5Context* context);
// Absorbs length bytes, transforming each completed 64-byte block.
void Md5Update(Md5Context* context, const void* bytes, uint32_t length);
// Pads, writes the 16-byte digest and wipes the whole context.
void Md5Final(Md5Context* context, uint8_t digest[16]);

// A 16-byte digest as 32 lower-case hexadecimal characters ("%02x" each).
std::string Md5DigestText(const uint8_t digest[16]);
// The digest of the byte range as 32 lower-case hexadecimal characters.
std::string Md5HexDigest(const void* bytes, uint32_t length);
// True when expected equals Md5HexDigest of the bytes, ignoring the case of
// ASCII letters, over the whole text: an empty expected text never matches,
// and neither does one with extra characters such as trailing blanks.
bool Md5HexMatches(const char* expected, const void* bytes, uint32_t length);
