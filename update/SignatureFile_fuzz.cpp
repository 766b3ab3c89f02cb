// ParseSignatureFile on arbitrary texts: a file it accepts has the signed
// statement as its own beginning, the signature line right behind it and
// nothing after, and values that hold no line end.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "update/SignatureFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<SignatureFile> file = ParseSignatureFile(text);
    if (!file) return 0;
    if (!text.starts_with(file->statement)) std::abort();
    const std::string_view tail = text.substr(file->statement.size());
    if (!tail.starts_with("sig=") || !tail.ends_with('\n')) std::abort();
    if (tail.find('\n') != tail.size() - 1) std::abort();
    if (file->version.empty() || file->file.empty() || file->size == 0) std::abort();
    for (const std::string* value : {&file->version, &file->file}) {
        if (value->find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) std::abort();
    }
    return 0;
}
