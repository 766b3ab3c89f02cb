// GetVersionValue on arbitrary version texts: the value is always a run of
// the text that follows "key=", holds no CR or LF, and stops at the zero.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "update/VersionFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the key; the rest is the text, zero-terminated.
    static const char* const kKeys[] = {"version", "md5", "exe", "e", "=", "version="};
    if (size < 1) return 0;
    const char* key = kKeys[data[0] % 6];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string value = GetVersionValue(text.c_str(), key);
    if (value.find_first_of("\r\n") != std::string::npos) std::abort();
    if (value.find('\0') != std::string::npos) std::abort();
    if (!value.empty()) {
        const std::string needle = std::string(key) + "=" + value;
        if (std::strstr(text.c_str(), needle.c_str()) == nullptr) std::abort();
    }
    return 0;
}
