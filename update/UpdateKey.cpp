#include "update/UpdateKey.h"

#include "update/HexBytes.h"

std::optional<UpdateKey> ParseUpdateKey(std::string_view hex) {
    UpdateKey key{};
    if (!DecodeHexBytes(hex, key)) return std::nullopt;
    return key;
}
