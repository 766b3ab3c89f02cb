#include "update/SignedBuild.h"

#include <windows.h>

#include <optional>

#include "update/SignatureFile.h"
#include "update/SignatureVerifier.h"
#include "update/VersionFile.h"

namespace {

constexpr wchar_t kSignatureSuffix[] = L".sig";
constexpr int kHttpOk = 200;

// The signature file beside the build, once it is known to be signed with
// key and to speak of the announced build.
std::optional<SignatureFile> FetchSignatureFile(const UpdateKey& key, const AnnouncedBuild& announced,
                                                const std::wstring& buildUrl, const CDownloadDeadline& checkDeadline) {
    const std::wstring url = buildUrl.empty() ? std::wstring() : UpdateFileUrl(buildUrl, kSignatureSuffix);
    if (url.empty()) return std::nullopt;
    char text[kSignatureFileCapacity] = {};
    int status = 0;
    const uint32_t length = DownloadToBuffer(url.c_str(), text, sizeof text, checkDeadline, &status);
    // An error page is no signature file, whatever its body says.
    if (length == 0 || status != kHttpOk) return std::nullopt;
    std::optional<SignatureFile> file = ParseSignatureFile(std::string_view(text, length));
    if (!file || !IsSignedBy(key, *file) || !NamesAnnouncedBuild(*file, announced.version, announced.exe)) {
        return std::nullopt;
    }
    return file;
}

}  // namespace

CheckedDownload DownloadSignedBuild(const UpdateKey& key, const AnnouncedBuild& announced, const std::wstring& buildUrl,
                                    const wchar_t* path, const CDownloadDeadline& checkDeadline,
                                    const DownloadProgress& progress) {
    const std::optional<SignatureFile> file = FetchSignatureFile(key, announced, buildUrl, checkDeadline);
    if (!file) return CheckedDownload::kRefused;
    CheckedDownloadOptions options;
    options.expectedLength = file->size;
    options.check = [&file](const void* bytes, uint32_t length) {
        Sha256Digest digest{};
        return length == file->size && ComputeSha256(bytes, length, digest) && DescribesBytes(*file, length, digest);
    };
    options.progress = progress;
    return DownloadToFileChecked(buildUrl.c_str(), path, announced.md5.c_str(), options);
}
