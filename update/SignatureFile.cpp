#include "update/SignatureFile.h"

#include "update/HexBytes.h"

namespace {

// Takes the next line off the front of rest, without its line end. False
// when no LF ends it (a cut file), or when a CR stands elsewhere than
// right before the LF.
bool TakeLine(std::string_view& rest, std::string_view& line) {
    const size_t end = rest.find('\n');
    if (end == std::string_view::npos) return false;
    line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line.find('\r') == std::string_view::npos;
}

// Takes the next line, which must be key, "=" and a non-empty value.
bool TakeEntry(std::string_view& rest, std::string_view key, std::string_view& value) {
    std::string_view line;
    if (!TakeLine(rest, line)) return false;
    if (line.size() <= key.size() + 1 || !line.starts_with(key) || line[key.size()] != '=') return false;
    value = line.substr(key.size() + 1);
    return true;
}

bool ParseSize(std::string_view text, uint32_t& size) {
    if (text.empty() || text.size() > 10 || text[0] == '0') return false;
    uint64_t value = 0;
    for (const char digit : text) {
        if (digit < '0' || digit > '9') return false;
        value = value * 10 + static_cast<uint64_t>(digit - '0');
    }
    if (value > UINT32_MAX) return false;
    size = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

std::optional<SignatureFile> ParseSignatureFile(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    std::string_view rest = text;
    std::string_view version, file, sha256, size, signature;
    if (!TakeEntry(rest, "version", version) || !TakeEntry(rest, "file", file) ||
        !TakeEntry(rest, "sha256", sha256) || !TakeEntry(rest, "size", size)) {
        return std::nullopt;
    }
    const size_t statementLength = text.size() - rest.size();
    if (!TakeEntry(rest, "sig", signature) || !rest.empty()) return std::nullopt;

    SignatureFile parsed;
    if (!DecodeHexBytes(sha256, parsed.sha256) || !ParseSize(size, parsed.size) ||
        !DecodeHexBytes(signature, parsed.signature)) {
        return std::nullopt;
    }
    parsed.statement = text.substr(0, statementLength);
    parsed.version = version;
    parsed.file = file;
    return parsed;
}

bool NamesAnnouncedBuild(const SignatureFile& file, std::string_view version, std::string_view exe) {
    return file.version == version && file.file == exe;
}

bool DescribesBytes(const SignatureFile& file, uint32_t length, const Sha256Digest& sha256) {
    return file.size == length && file.sha256 == sha256;
}
