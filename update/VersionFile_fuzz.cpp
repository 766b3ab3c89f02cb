// GetVersionValue on arbitrary version texts: the value is always a run of
// the text that follows "key=", holds no CR or LF, and stops at the zero.
// The value is then ordered against the text's first line, as an announced
// version against a local one: the order turns round with the two, a text
// is the same as itself, ".0" on the end changes nothing, and nothing is
// ordered against a text that is not dotted decimal numbers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "update/VersionFile.h"

namespace {

int Sign(int order) { return (order > 0) - (order < 0); }

void CheckOrder(const std::wstring& announced, const std::wstring& local) {
    const std::optional<int> forward = CompareVersionNumbers(announced, local);
    const std::optional<int> backward = CompareVersionNumbers(local, announced);
    if (forward.has_value() != backward.has_value()) std::abort();
    if (forward && Sign(*forward) != -Sign(*backward)) std::abort();
    if (CompareVersionNumbers(announced + L".0", local) != forward) std::abort();
    const std::optional<int> itself = CompareVersionNumbers(announced, announced);
    if (itself && *itself != 0) std::abort();
    if (forward && !itself) std::abort();
}

}  // namespace

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
    // Bytes widened one to one, as the ANSI code page does for ASCII.
    const std::string firstLine = text.substr(0, std::strcspn(text.c_str(), "\r\n"));
    CheckOrder(std::wstring(value.begin(), value.end()), std::wstring(firstLine.begin(), firstLine.end()));
    return 0;
}
