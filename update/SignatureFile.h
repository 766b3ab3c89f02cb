// The signature file "<exe>.sig" that the update host keeps beside each build:
// a short text that names the build and is signed with the publisher's key.
// No Windows header.
//
//   version=1.0.6
//   file=Quillmoor.exe
//   sha256=<64 hex digits: SHA-256 of the whole build>
//   size=<the build's length in bytes>
//   sig=<128 hex digits: ECDSA P-256 r then s over the SHA-256 of the lines above>
//
// The lines stand in exactly this order, each ends in LF or CR LF (the last
// one too), and nothing follows. The signed statement is the first four
// lines exactly as they stand, line ends included.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using Sha256Digest = std::array<uint8_t, 32>;
using EcdsaSignature = std::array<uint8_t, 64>;  // r then s, 32 big-endian bytes each

// The most a signature file may hold; a longer one is refused unread.
inline constexpr uint32_t kSignatureFileCapacity = 1024;

struct SignatureFile {
    std::string statement;  // the signed bytes: the first four lines as they stand
    std::string version;    // the version text, as "ver.txt" announces it
    std::string file;       // the build's name, as the "exe" value of "ver.txt"
    Sha256Digest sha256{};
    uint32_t size = 0;      // never 0
    EcdsaSignature signature{};
};

// The signature file from its whole text; none unless it is exactly as above:
// every value present and non-empty, no zero byte, no CR but before LF, hex
// fields of their exact length (either case), a decimal size from 1 to
// 4294967295 without leading zeros, nothing after the signature line. A file
// cut anywhere short of its end is refused.
std::optional<SignatureFile> ParseSignatureFile(std::string_view text);

// True when the file speaks of the build that "ver.txt" announces: its
// version and file name equal the "version" and "exe" values byte for byte.
bool NamesAnnouncedBuild(const SignatureFile& file, std::string_view version, std::string_view exe);

// True when the downloaded bytes are the build the file describes: its exact
// length and SHA-256.
bool DescribesBytes(const SignatureFile& file, uint32_t length, const Sha256Digest& sha256);
