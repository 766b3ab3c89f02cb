// Fixed-length byte fields written as hexadecimal digits. No Windows header.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Fills bytes from text, which must hold exactly two hexadecimal digits
// (either case) per byte and nothing else. On false, bytes may be changed.
bool DecodeHexBytes(std::string_view text, std::span<uint8_t> bytes);

// The bytes as lower-case hexadecimal digits, two per byte.
std::string EncodeHexBytes(std::span<const uint8_t> bytes);
