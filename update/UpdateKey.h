// The publisher's key that every new build must be signed with. The build
// compiles it in as 128 hexadecimal digits; this is their reader. No Windows
// header.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// An ECDSA P-256 public key: the point's X then Y, 32 big-endian bytes each.
using UpdateKey = std::array<uint8_t, 64>;

// The key from exactly 128 hexadecimal digits (either case) with nothing
// before or after them; none for any other text, the empty text included.
// Whether the point lies on the curve is left to the build's check and to
// the system's key import.
std::optional<UpdateKey> ParseUpdateKey(std::string_view hex);
