// ParseUpdateKey on arbitrary texts: a key it accepts, written back as
// hexadecimal digits, is the text it came from up to letter case.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "update/HexBytes.h"
#include "update/UpdateKey.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<UpdateKey> key = ParseUpdateKey(text);
    if (!key) return 0;
    std::string lower = text;
    for (char& digit : lower) digit = static_cast<char>(std::tolower(static_cast<unsigned char>(digit)));
    if (EncodeHexBytes(*key) != lower) std::abort();
    return 0;
}
